// What each implementation of the framework provides to the shared part
// (framework_common.cpp). Not for the framework's callers.
#pragma once

#include "framework/framework.h"

// The running program's file name; its length, 0 on failure.
unsigned FwModuleFileName(char* buffer, unsigned size);
void FwShowWaitCursor(bool on);
int FwMessageLoop();
// Creates the modeless dialog of template templateId and calls its OnInitDialog while
// the window is being created. The window, or null.
FwWindow FwCreateDialog(CDialog* dialog, unsigned templateId, FwWindow parent);
// Centres the dialog on the primary monitor's work area when its template gives no
// position (x 0, y 0) and it has no owner.
void FwCentreDialog(FwWindow window, unsigned templateId, FwWindow parent);
void FwEndDialog(FwWindow window, int result);
bool FwDestroyWindow(FwWindow window);
intptr_t FwSendMessage(FwWindow window, unsigned message, uintptr_t wParam, intptr_t lParam);
FwWindow FwGetDlgItem(FwWindow dialog, int id);
int FwShowMessageBox(const char* text, const char* caption, unsigned type);
