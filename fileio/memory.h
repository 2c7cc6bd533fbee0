// The engine's one allocation seam.
//
// Every heap buffer of the engine comes from MemAlloc, so tests can make allocations
// fail from a given size upward or after a given number of successes, and so reach
// every halving retry and every ERR_NO_MEMORY path for real. Process-wide state, not
// thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

void* MemAlloc(size_t size); // null on failure, like malloc
void MemFree(void* block);   // free; null is allowed

// A large buffer under memory pressure: tries *size bytes and, while that fails and
// *size is at least retryMin, halves *size and tries again. *size is left at the size
// obtained (or at the last size tried, with null).
void* MemAllocHalving(uint32_t* size, uint32_t retryMin);

// Test controls. A request fails when its size is at least failFrom (0 = no size
// limit), or when failAfter further requests have already succeeded (-1 = never).
void MemFailFrom(size_t failFrom);
void MemFailAfter(long failAfter);
void MemReset();      // no failures; counters back to 0
long MemLiveBlocks(); // blocks obtained and not yet freed, for leak checks
