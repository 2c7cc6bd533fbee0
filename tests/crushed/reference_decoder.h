// The Crushed decoder as it stood before its inner loop was rebuilt for speed, kept
// frozen as the reference that the differential test and fuzzer hold crushed/'s
// decoder to. Same calling pattern and results as crushed/crushed.h, with its own
// process-wide state under the namespace `reference`.
#pragma once

#include <cstdint>

#include "crushed/format.h"

struct EntryDescriptor;

namespace reference {

extern int32_t InputSlot;
extern uint32_t CompressedLeft;
extern uint32_t BytesWritten;

int DecoderReset();
int DecodeChunk(EntryDescriptor* descriptor, uint32_t count, uint8_t* window);
void DecoderRelease();
void DecoderResetState();
int BitInputOverrun();
int BitInputEnded();
uint64_t BitInputBitsUsed();

} // namespace reference
