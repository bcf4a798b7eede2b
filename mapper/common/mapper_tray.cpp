#include "mapper_tray.h"
#include "mapper_ids.h"
#include "host_system.h"
#include "library_entry.h"
#include <shellapi.h>

namespace {

typedef BOOL(WINAPI *NotifyIconProc)(DWORD message, PNOTIFYICONDATAA data);

void PostSendToTray(HWND window) {
    POINT cursor = {};
    GetCursorPos(&cursor);
    PostMessageA(window, WM_SYSCOMMAND, IDM_SYS_TOTRAY, MAKELPARAM(cursor.x, cursor.y));
}

}  // namespace

BOOL TrayNotify(MapperState *state, DWORD message) {
    // The shell library is bound at the first use of the tray, not at start-up.
    static NotifyIconProc notifyIcon = nullptr;
    if (!notifyIcon) {
        notifyIcon = LibraryEntry<NotifyIconProc>(LoadSystemLibrary("shell32.dll"), "Shell_NotifyIconA");
        if (!notifyIcon) return FALSE;
    }
    return notifyIcon(message, reinterpret_cast<PNOTIFYICONDATAA>(&state->trayIcon));
}

void SendToTray(HWND window) {
    MapperState *state = GetMapperState(window);
    if (!state || state->inTray) return;
    GetWindowTextA(window, state->trayIcon.szTip, sizeof state->trayIcon.szTip);
    if (!IsIconic(window)) ShowWindow(window, SW_SHOWMINIMIZED);
    if (!TrayNotify(state, NIM_ADD)) return;
    ShowWindow(window, SW_HIDE);
    const UINT_PTR id = g_mapperProgram->trayTimerId ? g_mapperProgram->trayTimerId
                                                     : reinterpret_cast<UINT_PTR>(window);
    state->trayTimer = g_setTimer(window, id, kTrayRefreshMs, nullptr) ? id : 0;
    state->inTray = 1;
}

void RestoreFromTray(HWND window) {
    MapperState *state = GetMapperState(window);
    if (!state || !state->inTray) return;
    TrayNotify(state, NIM_DELETE);
    ShowWindow(window, SW_SHOW);
    ShowWindow(window, SW_RESTORE);
    if (state->trayTimer) KillTimer(window, state->trayTimer);
    state->trayTimer = 0;
    state->inTray = 0;
}

void RefreshTrayIcon(HWND window) {
    MapperState *state = GetMapperState(window);
    if (!state) return;
    if (!TrayNotify(state, NIM_MODIFY)) TrayNotify(state, NIM_ADD);
}

void OnMapperSize(HWND window) {
    MapperState *state = GetMapperState(window);
    if (!state) return;
    UpdateRestoreMinimise(window, GetSystemMenu(window, FALSE));
    if (state->inTray) {
        // Shown by other means (a second start): the icon goes; the refresh
        // timer runs on and its ticks do nothing until the next send.
        if (IsWindowVisible(window)) {
            TrayNotify(state, NIM_DELETE);
            state->inTray = 0;
        }
    } else if (state->iconToTray && IsIconic(window)) {
        PostSendToTray(window);
    }
}

void ToggleIconToTray(HWND window) {
    MapperState *state = GetMapperState(window);
    if (!state) return;
    state->iconToTray = !state->iconToTray;
    if (state->iconToTray && IsIconic(window) && !state->inTray) PostSendToTray(window);
}

void PrepareMapperMenu(HWND window, HMENU menu, BOOL systemMenu) {
    MapperState *state = GetMapperState(window);
    if (!state) return;
    if (systemMenu) {
        RemoveMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
        RemoveMenu(menu, SC_SIZE, MF_BYCOMMAND);
        UpdateRestoreMinimise(window, menu);
        CheckMenuItem(menu, IDM_SYS_ICON2TRAY, MF_BYCOMMAND | (state->iconToTray ? MF_CHECKED : MF_UNCHECKED));
    } else if (state->inTray) {
        MakeDefaultItem(menu, IDM_TRAY_RESTORE);
    }
}

void OnMapperTrayIcon(HWND window, UINT iconId, UINT mouseMessage) {
    MapperState *state = GetMapperState(window);
    if (state && iconId == g_mapperProgram->trayIconId)
        OnTrayIconMouse(window, mouseMessage, IDM_TRAY_RESTORE, state->trayMenu);
}

BOOL PaintMapperIcon(HWND window) {
    MapperState *state = GetMapperState(window);
    return state ? PaintMinimisedIcon(window, state->largeIcon) : FALSE;
}
