// The settings file beside the executable, read at start and written at close.
#pragma once
#include <windows.h>
#include "app/player_state.h"
#include "settings_update.h"

void LoadPlayerSettings(HWND window);
void SavePlayerSettings(HWND window);
int ReadRecordFormat(RecordFormat *format, const char *section, const char *path);
int WriteRecordFormat(const RecordFormat *format, const char *section, SettingsUpdate &file);
