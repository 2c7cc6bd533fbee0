// What the stand-in framework records instead of showing windows, for tests and for
// the native program. Only framework_standin.cpp implements this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/framework.h"

// The program's compiled resource script (a .res file's bytes), which its build links
// in: the stand-in takes dialog templates and strings from it, as Windows takes them
// from the program's resources.
extern const unsigned char g_resourceImage[];
extern const unsigned g_resourceImageSize;

enum FwEventKind {
    FW_EVENT_DIALOG_CREATED, // caption, width/height (dialog units), style, templateId in value
    FW_EVENT_MESSAGE,        // a message sent to a window: controlId (0: the dialog itself)
    FW_EVENT_DIALOG_ENDED,   // value: the result
    FW_EVENT_WINDOW_DESTROYED,
    FW_EVENT_MESSAGE_BOX, // text, caption, value: the MB_ flags
    FW_EVENT_WAIT_CURSOR, // value: 1 on, 0 off
};

struct FwEvent {
    int kind = 0;
    int controlId = 0;
    unsigned message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    int value = 0;
    uint32_t style = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::string caption;
    std::string text;
};

size_t FwStandInEventCount();
const FwEvent& FwStandInEvent(size_t index);
// Forgets the events recorded so far (the windows stay).
void FwStandInClearEvents();
