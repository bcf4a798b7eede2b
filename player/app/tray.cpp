#include "app/tray.h"
#include "app/player_state.h"
#include "app/displays.h"
#include "res/resource.h"
#include <shellapi.h>

namespace {

PNOTIFYICONDATAA IconData(PlayerState *state) {
    return reinterpret_cast<PNOTIFYICONDATAA>(&state->trayIcon);
}

void PostSendToTray(HWND window) {
    POINT cursor = {};
    GetCursorPos(&cursor);
    PostMessageA(window, WM_SYSCOMMAND, IDM_SYS_TOTRAY, MAKELPARAM(cursor.x, cursor.y));
}

}  // namespace

void SendToTray(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->inTray) return;
    GetWindowTextA(window, state->trayIcon.szTip, sizeof state->trayIcon.szTip);
    if (!IsIconic(window)) ShowWindow(window, SW_SHOWMINIMIZED);
    if (Shell_NotifyIconA(NIM_ADD, IconData(state))) {
        ShowWindow(window, SW_HIDE);
        state->inTray = 1;
    }
}

void RestoreFromTray(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state || !state->inTray) return;
    Shell_NotifyIconA(NIM_DELETE, IconData(state));
    ShowWindow(window, SW_SHOW);
    ShowWindow(window, SW_RESTORE);
    state->inTray = 0;
}

void RefreshTrayIcon(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return;
    if (!Shell_NotifyIconA(NIM_MODIFY, IconData(state))) Shell_NotifyIconA(NIM_ADD, IconData(state));
}

void RefreshTrayTip(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return;
    char length[48] = "";
    char position[48] = "";
    GetWindowTextA(MainControl(window, IDC_LENGTH), length, 41);
    GetWindowTextA(MainControl(window, IDC_POSITION), position, 41);
    char tip[kPathSize + 2 * 48];
    wsprintfA(tip, "%.259s %s %s", state->appName, position, length);
    lstrcpynA(state->trayIcon.szTip, tip, sizeof state->trayIcon.szTip);
    RefreshTrayIcon(window);
}

void OnTraySize(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return;
    UpdateRestoreMinimise(window, GetSystemMenu(window, FALSE));
    if (state->inTray) {
        if (IsWindowVisible(window)) {
            Shell_NotifyIconA(NIM_DELETE, IconData(state));
            state->inTray = 0;
        }
    } else if (state->iconToTray && IsIconic(window)) {
        PostSendToTray(window);
    }
}

BOOL OnTraySystemCommand(HWND window, WPARAM command) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return FALSE;
    switch (command & 0xFFF0) {
    case IDM_SYS_TOTRAY:
        SendToTray(window);
        return TRUE;
    case IDM_SYS_ICON2TRAY:
        state->iconToTray = 1 - state->iconToTray;
        if (state->iconToTray && IsIconic(window) && !state->inTray) PostSendToTray(window);
        return TRUE;
    default:
        return FALSE;
    }
}

void OnTrayNotify(HWND window, UINT iconId, UINT mouseMessage) {
    PlayerState *state = GetPlayerState(window);
    if (state && iconId == 1) OnTrayIconMouse(window, mouseMessage, IDM_TRAY_RESTORE, state->trayMenu);
}

void OnTaskbarCreated(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (state && state->inTray) RefreshTrayIcon(window);
}
