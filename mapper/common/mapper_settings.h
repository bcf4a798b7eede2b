// The mapper's settings file: first-run defaults, "Icon2Tray", the version.
#pragma once
#include "mapper_state.h"
#include "settings_update.h"

struct IniValue {
    const char *section;
    const char *key;
    const char *value;
};

// When "Version" of the program's section is missing or empty, writes the
// defaults in their order over the same keys. TRUE when written.
BOOL WriteFirstRunDefaults(HWND window, const IniValue *defaults, int count);
void ReadIconToTray(HWND window);
void WriteIconToTray(HWND window);
void WriteMapperVersion(SettingsUpdate &file);
// Hands each value of the "Map" section, "01" up to its "Count" (at most
// `limit`), to `apply` in order.
void ReadMapEntries(HWND window, int limit, BOOL (*apply)(HWND window, const char *value));
