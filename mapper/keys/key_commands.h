// The key mapper's dialog controls.
#pragma once
#include <windows.h>

BOOL OnMapperCommand(HWND window, int code, int id, HWND control);
