// The keyboard hook library and the dispatch of its key notifications.
#pragma once
#include <windows.h>

constexpr char kHookLibrary[] = "Clavtrap.dll";

BOOL LoadKeyboardHook(HWND window);
void UnloadKeyboardHook(HWND window);
LRESULT DispatchHookKey(HWND window, WPARAM wParam, LPARAM lParam);
