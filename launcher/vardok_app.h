// The application: no main window, no document; its initialisation hook does the one
// launch and ends the program.
#pragma once

#include "framework/framework.h"

class CVardokApp : public CWinApp {
public:
    CVardokApp(); // without a name: the title is the program file's name
    const FwMessageMap* GetMessageMap() const override; // Help only
    // Restricts the DLL search, runs one launch, and returns false so that the program
    // ends with exit code 0 without a message loop, whatever the launch's outcome.
    bool InitInstance() override;
};
