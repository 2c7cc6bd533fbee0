// The Windows program's entry point: everything else is the application object's.
#include <windows.h>

#include "framework/framework.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return FwRunApplication(); }
