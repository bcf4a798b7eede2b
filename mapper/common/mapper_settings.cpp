#include "mapper_settings.h"

BOOL WriteFirstRunDefaults(HWND window, const IniValue *defaults, int count) {
    MapperState *state = GetMapperState(window);
    if (!state) return FALSE;
    char version[kTextSize] = "";
    GetPrivateProfileStringA(g_mapperProgram->word, "Version", "", version, sizeof version, state->iniPath);
    if (version[0]) return FALSE;
    for (int i = 0; i < count; ++i)
        WritePrivateProfileStringA(defaults[i].section, defaults[i].key, defaults[i].value, state->iniPath);
    FlushSettings(window);
    return TRUE;
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
    WritePrivateProfileStringA(g_mapperProgram->word, "Icon2Tray", state->iconToTray ? "1" : "0", state->iniPath);
}

void WriteMapperVersion(HWND window) {
    MapperState *state = GetMapperState(window);
    if (state) WritePrivateProfileStringA(g_mapperProgram->word, "Version", kMapperVersion, state->iniPath);
}

void FlushSettings(HWND window) {
    MapperState *state = GetMapperState(window);
    if (state) WritePrivateProfileStringA(nullptr, nullptr, nullptr, state->iniPath);
}
