// What the programs' notification-area icons share: the icon record in its
// first form, the icon's menu, and the icon drawn in a minimised window.
#pragma once
#include <windows.h>
#include <cstddef>

// The notification-area icon data in its first, 88-byte (32-bit) form.
struct TrayIconData {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    CHAR szTip[64];
};
#ifndef _WIN64
static_assert(sizeof(TrayIconData) == 88, "tray icon data, first form");
#endif
static_assert(offsetof(TrayIconData, szTip) + 64 == sizeof(TrayIconData), "tip is last");

// A mouse message of the icon: a double click posts `restoreCommand` as
// WM_COMMAND; the right button opens the first submenu of `menu` (when there
// is one) at the pointer, its chosen item coming as WM_COMMAND.
void OnTrayIconMouse(HWND window, UINT mouseMessage, UINT restoreCommand, HMENU menu);
// Shows item `id` of the menu as its default (bold) item.
void MakeDefaultItem(HMENU menu, UINT id);
// Restore offered only while the window is minimised, Minimize only while
// it is not.
void UpdateRestoreMinimise(HWND window, HMENU systemMenu);
// Paints the icon in the middle of a minimised window; FALSE when it is not
// minimised.
BOOL PaintMinimisedIcon(HWND window, HICON icon);
