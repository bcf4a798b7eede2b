// The main window's commands, refresh timer, position bar and menu states.
#pragma once
#include <windows.h>

BOOL OnMainCommand(HWND window, UINT notifyCode, UINT commandId, LPARAM lParam);
BOOL OnRefreshTimer(HWND window, WPARAM timerId);
BOOL OnPositionBar(HWND window, UINT scrollCode, int thumbPosition, HWND control);
BOOL UpdateMenuStates(HWND window, HMENU menu, UINT index, BOOL isSystemMenu);
BOOL PaintIconic(HWND window);
