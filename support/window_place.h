// Where a program's windows and dialogs are put.
#pragma once
#include <windows.h>

// Centres the window on its owner, or on the screen when it has none or the
// owner is minimised, keeping it on the screen.
void CentreWindow(HWND window);
