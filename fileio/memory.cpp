#include "fileio/memory.h"

#include <cstdlib>

// Process-wide, not thread-safe.
static size_t g_memFailFrom = 0;
static long g_memFailAfter = -1;
static long g_memLiveBlocks = 0;

void* MemAlloc(size_t size) {
    if (g_memFailFrom != 0 && size >= g_memFailFrom) return nullptr;
    if (g_memFailAfter == 0) return nullptr;
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) return nullptr;
    if (g_memFailAfter > 0) g_memFailAfter--;
    g_memLiveBlocks++;
    return block;
}

void MemFree(void* block) {
    if (block == nullptr) return;
    g_memLiveBlocks--;
    std::free(block);
}

void* MemAllocHalving(uint32_t* size, uint32_t retryMin) {
    void* block = MemAlloc(*size);
    while (block == nullptr && *size >= retryMin) {
        *size /= 2;
        block = MemAlloc(*size);
    }
    return block;
}

void MemFailFrom(size_t failFrom) { g_memFailFrom = failFrom; }
void MemFailAfter(long failAfter) { g_memFailAfter = failAfter; }

void MemReset() {
    g_memFailFrom = 0;
    g_memFailAfter = -1;
}

long MemLiveBlocks() { return g_memLiveBlocks; }
