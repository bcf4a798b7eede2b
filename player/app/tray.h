// The notification-area icon: send, restore, tip, popup menu.
#pragma once
#include <windows.h>

void SendToTray(HWND window);
void RestoreFromTray(HWND window);
void RefreshTrayIcon(HWND window);
void RefreshTrayTip(HWND window);
void OnTraySize(HWND window);
BOOL OnTraySystemCommand(HWND window, WPARAM command);
void OnTrayNotify(HWND window, UINT iconId, UINT mouseMessage);
void OnTaskbarCreated(HWND window);
