#include "engine/events.h"

#include "engine/descriptor.h"

// Process-wide handler slots, not thread-safe.
static EventHandler g_mainHandler = nullptr;
static EventHandler g_secondHandler = nullptr;

int SetEventHandler(int slot, EventHandler handler) {
    if (slot == EVENT_SLOT_MAIN) {
        g_mainHandler = handler;
        return 0;
    }
    if (slot == EVENT_SLOT_SECOND) {
        g_secondHandler = handler; // stored only; the engine never calls it
        return 0;
    }
    return ERR_BAD_ARGUMENT;
}

int EventHandlerRegistered() { return g_mainHandler != nullptr; }

EventHandler GetEventHandler(int slot) {
    if (slot == EVENT_SLOT_MAIN) return g_mainHandler;
    if (slot == EVENT_SLOT_SECOND) return g_secondHandler;
    return nullptr;
}

void RaiseEvent(EntryDescriptor* desc, int32_t event, int32_t argument) {
    if (g_mainHandler != nullptr) g_mainHandler(desc, event, argument);
}

void EventsReset() {
    g_mainHandler = nullptr;
    g_secondHandler = nullptr;
}
