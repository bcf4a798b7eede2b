// Press and release commands per joystick button: the edited copy, the copy
// in force, and the section "Map" of the settings file.
#pragma once
#include "padwig_state.h"

void BuildButtonLists(HWND window);
void LoadJoystickSettings(HWND window);
// Applies one "Map" value ("%02u,%02u,%02u,%02u") to the button lists; FALSE when skipped.
BOOL ApplyButtonMapValue(HWND window, const char *value);
void ApplyBindings(HWND window);
void ClearBindings(HWND window);
void SaveBindings(HWND window);
void FreeButtonLists(HWND window);
