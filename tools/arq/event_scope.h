// The engine's event handler for the length of one command.
//
// The engine keeps the handler process-wide: every way out of a command after it is
// set must take it away again, so that no later command's events reach this one's
// handler.
#pragma once

#include "engine/engine.h"

class EventScope {
public:
    explicit EventScope(EventHandler handler) { SetEventHandler(EVENT_SLOT_MAIN, handler); }
    ~EventScope() { End(); }
    EventScope(const EventScope&) = delete;
    EventScope& operator=(const EventScope&) = delete;
    // Takes the handler away before the command's last words, which raise no events.
    void End() { SetEventHandler(EVENT_SLOT_MAIN, nullptr); }
};
