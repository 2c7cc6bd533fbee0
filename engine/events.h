// Engine events: handler registration and delivery.
//
// Two handler slots; every event goes to the handler in EVENT_SLOT_MAIN, and
// EVENT_SLOT_SECOND only stores a pointer. Process-wide state, not thread-safe.
#pragma once

#include <cstdint>

#include "fileio/codes.h"

struct EntryDescriptor;

typedef int (*EventHandler)(EntryDescriptor* desc, int32_t event, int32_t argument);
typedef EventHandler OverwriteQuery;

enum {
    EVENT_SLOT_MAIN = 100,
    EVENT_SLOT_SECOND = 101,
};

int SetEventHandler(int slot, EventHandler handler); // 0, or ERR_BAD_ARGUMENT
int EventHandlerRegistered();                        // 1 when EVENT_SLOT_MAIN is set
EventHandler GetEventHandler(int slot);              // the handler stored in a slot, or null
// Calls the handler in EVENT_SLOT_MAIN, if any; its result is ignored.
void RaiseEvent(EntryDescriptor* desc, int32_t event, int32_t argument);
// Clears both slots (for tests).
void EventsReset();
