// The mapper frame's notification-area mode, system menu and minimised icon.
#pragma once
#include "mapper_state.h"

// Shell_NotifyIconA with the record's icon data.
BOOL TrayNotify(MapperState *state, DWORD message);
void SendToTray(HWND window);
void RestoreFromTray(HWND window);
void RefreshTrayIcon(HWND window);
void OnMapperSize(HWND window);
void ToggleIconToTray(HWND window);
void PrepareMapperMenu(HWND window, HMENU menu, BOOL systemMenu);
void OnMapperTrayIcon(HWND window, UINT iconId, UINT mouseMessage);
BOOL PaintMapperIcon(HWND window);
