// The joystick mapper's window: its lists and what its controls do.
#pragma once
#include <windows.h>

// Start-up between the title and the tooltips: joysticks, lists, settings, sampling.
void SetUpJoystickWindow(HWND window);
void FillButtonList(HWND window);
BOOL OnJoystickCommand(HWND window, int code, int id, HWND control);
