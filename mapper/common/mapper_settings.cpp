#include "mapper_settings.h"
#include "settings_section.h"
#include "settings_update.h"

BOOL WriteFirstRunDefaults(HWND window, const IniValue *defaults, int count) {
    MapperState *state = GetMapperState(window);
    if (!state) return FALSE;
    char version[kTextSize] = "";
    GetPrivateProfileStringA(g_mapperProgram->word, "Version", "", version, sizeof version, state->iniPath);
    if (version[0]) return FALSE;
    SettingsUpdate file(state->iniPath);
    for (int i = 0; i < count; ++i) file.Write(defaults[i].section, defaults[i].key, defaults[i].value);
    return file.Commit();
}

void ReadIconToTray(HWND window) {
    MapperState *state = GetMapperState(window);
    if (!state) return;
    state->iconToTray =
        static_cast<int>(GetPrivateProfileIntA(g_mapperProgram->word, "Icon2Tray", state->iconToTray, state->iniPath));
}

void WriteIconToTray(HWND window) {
    MapperState *state = GetMapperState(window);
    if (!state) return;
    SettingsUpdate file(state->iniPath);
    file.Write(g_mapperProgram->word, "Icon2Tray", state->iconToTray ? "1" : "0");
    file.Commit();
}

void WriteMapperVersion(SettingsUpdate &file) { file.Write(g_mapperProgram->word, "Version", kMapperVersion); }

void ReadMapEntries(HWND window, int limit, BOOL (*apply)(HWND window, const char *value)) {
    MapperState *state = GetMapperState(window);
    if (!state) return;
    const SettingsSection map("Map", state->iniPath);
    int count = map.Int("Count", 0);
    if (count < 0) count = 0;
    if (count > limit) count = limit;
    for (int n = 1; n <= count; ++n) {
        char key[16];
        char value[kTextSize];
        wsprintfA(key, "%02d", n);
        map.Value(key, value, sizeof value);
        apply(window, value);
    }
}
