#include "tray_icon.h"

void OnTrayIconMouse(HWND window, UINT mouseMessage, UINT restoreCommand, HMENU menu) {
    if (mouseMessage == WM_LBUTTONDBLCLK) {
        PostMessageA(window, WM_COMMAND, restoreCommand, 0);
    } else if (mouseMessage == WM_RBUTTONDOWN && menu) {
        SetForegroundWindow(window);
        POINT cursor = {};
        GetCursorPos(&cursor);
        TrackPopupMenu(GetSubMenu(menu, 0), TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window, nullptr);
        PostMessageA(window, WM_NULL, 0, 0);  // so that a click elsewhere closes the menu
    }
}

void MakeDefaultItem(HMENU menu, UINT id) {
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE;
    if (!GetMenuItemInfoA(menu, id, FALSE, &item)) return;
    item.fState |= MFS_DEFAULT;
    SetMenuItemInfoA(menu, id, FALSE, &item);
}

void UpdateRestoreMinimise(HWND window, HMENU systemMenu) {
    if (!systemMenu) return;
    const BOOL minimised = IsIconic(window);
    EnableMenuItem(systemMenu, SC_RESTORE, MF_BYCOMMAND | (minimised ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(systemMenu, SC_MINIMIZE, MF_BYCOMMAND | (minimised ? MF_GRAYED : MF_ENABLED));
}

BOOL PaintMinimisedIcon(HWND window, HICON icon) {
    if (!IsIconic(window)) return FALSE;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SendMessageA(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(window, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon);
    EndPaint(window, &paint);
    return TRUE;
}
