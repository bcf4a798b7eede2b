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

// The first submenu of `menu` at the pointer, owned by the window; the item
// chosen comes as WM_COMMAND.
void ShowTrayMenu(HWND window, HMENU menu);
// Shows item `id` of the menu as its default (bold) item.
void MakeDefaultItem(HMENU menu, UINT id);
// Restore offered only while the window is minimised, Minimize only while
// it is not.
void UpdateRestoreMinimise(HWND window, HMENU systemMenu);
// Paints the icon in the middle of a minimised window; FALSE when it is not
// minimised.
BOOL PaintMinimisedIcon(HWND window, HICON icon);
