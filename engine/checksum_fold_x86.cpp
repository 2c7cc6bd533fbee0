// ChecksumFold with PCLMULQDQ, on x86 processors that have it (asked with CPUID); the
// function is compiled for it alone, so the rest of the program runs everywhere.
#include <cpuid.h>
#include <immintrin.h>

#include "engine/checksum_fold.h"

// x^d mod P for the fold distances, bit-reversed into the high half of a 64-bit
// operand (coefficient of x^k at bit 63 - k), and taken at d - 1: the carry-less
// product of two such reversed operands comes out one place short, that is times x.
// Distance 128 bits folds one block onto the next, 512 bits onto the block four on.
static const uint64_t FOLD_128_HIGH = 0x65673B4600000000ull; // x^(128 + 64 - 1) mod P
static const uint64_t FOLD_128_LOW = 0x9BA54C6F00000000ull;  // x^(128 - 1) mod P
static const uint64_t FOLD_512_HIGH = 0x653D982200000000ull; // x^(512 + 64 - 1) mod P
static const uint64_t FOLD_512_LOW = 0xCAD38E8F00000000ull;  // x^(512 - 1) mod P

int ChecksumFoldAvailable() {
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return 0;
    return (ecx & bit_PCLMUL) != 0 && (edx & bit_SSE2) != 0;
}

__attribute__((target("pclmul,sse2"))) static inline __m128i Fold(__m128i block, __m128i constants) {
    return _mm_xor_si128(_mm_clmulepi64_si128(block, constants, 0x00),
                         _mm_clmulepi64_si128(block, constants, 0x11));
}

__attribute__((target("pclmul,sse2"))) static inline __m128i Load(const uint8_t* bytes) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

__attribute__((target("pclmul,sse2"))) void ChecksumFold(uint32_t reg, const uint8_t* bytes, uint32_t size,
                                                         uint8_t residue[CHECKSUM_FOLD_BLOCK]) {
    // The low half of each constant pair meets H (the block's low 64 bits), the high half L.
    const __m128i by512 =
        _mm_set_epi64x(static_cast<long long>(FOLD_512_LOW), static_cast<long long>(FOLD_512_HIGH));
    const __m128i by128 =
        _mm_set_epi64x(static_cast<long long>(FOLD_128_LOW), static_cast<long long>(FOLD_128_HIGH));
    __m128i a = _mm_xor_si128(Load(bytes), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i b = Load(bytes + 16);
    __m128i c = Load(bytes + 32);
    __m128i d = Load(bytes + 48);
    bytes += CHECKSUM_FOLD_MIN;
    size -= CHECKSUM_FOLD_MIN;
    while (size >= CHECKSUM_FOLD_MIN) {
        a = _mm_xor_si128(Fold(a, by512), Load(bytes));
        b = _mm_xor_si128(Fold(b, by512), Load(bytes + 16));
        c = _mm_xor_si128(Fold(c, by512), Load(bytes + 32));
        d = _mm_xor_si128(Fold(d, by512), Load(bytes + 48));
        bytes += CHECKSUM_FOLD_MIN;
        size -= CHECKSUM_FOLD_MIN;
    }
    __m128i x = _mm_xor_si128(Fold(a, by128), b);
    x = _mm_xor_si128(Fold(x, by128), c);
    x = _mm_xor_si128(Fold(x, by128), d);
    while (size >= CHECKSUM_FOLD_BLOCK) {
        x = _mm_xor_si128(Fold(x, by128), Load(bytes));
        bytes += CHECKSUM_FOLD_BLOCK;
        size -= CHECKSUM_FOLD_BLOCK;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(residue), x);
}
