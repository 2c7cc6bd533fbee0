// Engine events: their delivery to the registered handler (registration is part of
// the engine's interface, engine/engine.h). Process-wide state, not thread-safe.
#pragma once

#include <cstdint>

#include "engine/engine.h"

int EventHandlerRegistered(); // 1 when EVENT_SLOT_MAIN is set
// Calls the handler in EVENT_SLOT_MAIN, if any; its result is ignored.
void RaiseEvent(EntryDescriptor* desc, int32_t event, int32_t argument);
// Clears both slots (for tests).
void EventsReset();
