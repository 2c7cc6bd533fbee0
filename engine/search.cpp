// Forward search for a record signature.
#include "engine/search.h"

#include <cstring>

#include "engine/descriptor.h"
#include "engine/events.h"
#include "fileio/memory.h"
#include "fileio/slots.h"

// Format notes: the file is read in chunks and scanned byte by byte; the count of
// pattern bytes matched so far survives from one chunk to the next, so a signature
// split by a chunk border is found. On a mismatch the count falls back to the
// longest prefix of the pattern that still ends at this byte (a prefix-function
// table), rather than to 0: otherwise a signature right behind a copy of its own
// first bytes (67 67 57 04 01) would be missed.

// fallback[i]: length of the longest proper prefix of pattern[0..i] that is also a
// suffix of it.
static void BuildFallback(const uint8_t* pattern, int32_t length, int32_t* fallback) {
    fallback[0] = 0;
    int32_t k = 0;
    for (int32_t i = 1; i < length; i++) {
        while (k > 0 && pattern[i] != pattern[k])
            k = fallback[k - 1];
        if (pattern[i] == pattern[k]) k++;
        fallback[i] = k;
    }
}

// Scans count bytes with *matched pattern bytes already matched. Returns the index of
// the byte that completes the pattern, or -1 with *matched updated for the next chunk.
static int32_t ScanChunk(const uint8_t* bytes, int32_t count, const uint8_t* pattern, int32_t length,
                         const int32_t* fallback, int32_t* matched) {
    int32_t m = *matched;
    int32_t i = 0;
    while (i < count) {
        if (m == 0) {
            // Nothing matched: only the pattern's first byte can start a match.
            const void* hit = std::memchr(bytes + i, pattern[0], static_cast<size_t>(count - i));
            if (hit == nullptr) break;
            i = static_cast<int32_t>(static_cast<const uint8_t*>(hit) - bytes);
            m = 1;
        } else {
            const uint8_t c = bytes[i];
            while (m > 0 && c != pattern[m]) {
                m = fallback[m - 1];
            }
            if (c == pattern[m]) m++;
        }
        if (m == length) {
            *matched = m;
            return i;
        }
        i++;
    }
    *matched = m;
    return -1;
}

int32_t FindSignature(int slot, const uint8_t* pattern, int32_t length, int32_t limit) {
    if (pattern == nullptr || length <= 0 || length > SEARCH_PATTERN_MAX) return ERR_BAD_ARGUMENT;
    const int32_t start = FileTell(slot);
    if (start < 0) return ERR_BAD_HANDLE;
    const int32_t size = FileSeek(slot, 0, FILE_SEEK_END);
    if (size < 0 || FileSeek(slot, start, FILE_SEEK_START) != start) return ERR_IO;

    const int32_t toScan = size > start ? size - start : 0;
    uint32_t chunkSize = static_cast<uint32_t>(toScan < SEARCH_CHUNK_SIZE ? toScan : SEARCH_CHUNK_SIZE);
    uint8_t* buffer = static_cast<uint8_t*>(MemAllocHalving(&chunkSize, SEARCH_CHUNK_RETRY_MIN));
    const int32_t chunk = static_cast<int32_t>(chunkSize);
    if (buffer == nullptr) return ERR_NO_MEMORY;

    int32_t fallback[SEARCH_PATTERN_MAX];
    BuildFallback(pattern, length, fallback);

    EntryDescriptor scratch; // only its status counts: a handler may cancel through it
    std::memset(&scratch, 0, sizeof scratch);
    int32_t matched = 0;
    int found = 0;
    int64_t scanned = 0; // bytes read so far, for the limit
    int32_t behind = -1; // offset of the byte behind the match
    int32_t chunkStart = start;
    while (scratch.status != STATUS_CANCEL) {
        const int32_t got = FileRead(slot, buffer, chunk);
        if (got <= 0) {
            found = 1; // the end of the file: the search is over
        } else {
            const int32_t hit = ScanChunk(buffer, got, pattern, length, fallback, &matched);
            if (hit >= 0) {
                found = 1;
                behind = chunkStart + hit + 1;
            }
            chunkStart += got;
        }
        if (limit != 0 && got > 0) {
            scanned += got;
            if (scanned > limit) found = 1;
        }
        if (EventHandlerRegistered()) RaiseEvent(&scratch, EVT_SEARCH_PROGRESS, 0);
        if (found) break;
    }

    MemFree(buffer);
    FileSeek(slot, start, FILE_SEEK_START);
    if (scratch.status == STATUS_CANCEL) return ERR_CANCELLED;
    return behind - length;
}

static int32_t FindRecord(const char* name, int slot, const uint8_t* signature) {
    if (name == nullptr) {
        if (slot < 0 || slot >= FILE_SLOT_COUNT) return ERR_BAD_ARGUMENT;
        return FindSignature(slot, signature, SIGNATURE_SIZE, SIGNATURE_SEARCH_LIMIT);
    }
    if (name[0] == '\0') return ERR_BAD_ARGUMENT;
    const int opened = FileOpen(name, FILE_READ);
    if (opened < 0) return ERR_NOT_FOUND;
    const int32_t result = FindSignature(opened, signature, SIGNATURE_SIZE, SIGNATURE_SEARCH_LIMIT);
    FileClose(opened);
    return result;
}

int32_t FindEntrySignature(const char* name, int slot) { return FindRecord(name, slot, EntrySignature()); }

int32_t FindArchiveHeader(const char* name, int slot) {
    const int32_t found = FindRecord(name, slot, ArchiveSignature());
    if (found < 0) return found;
    return found + SIGNATURE_SIZE;
}
