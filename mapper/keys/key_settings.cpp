#include "key_settings.h"
#include "key_lists.h"
#include "../common/dde_client.h"
#include "../common/mapper_settings.h"

namespace {

constexpr IniValue kFirstRunDefaults[] = {
    {"Runeby", "Version", kMapperVersion},
    {"DDE", "ServiceName", "Tavolin"},
    {"DDE", "TopicName", "Command"},
    {"Command", "Count", "10"},
    {"Command", "01", "[Play()]"},
    {"Command", "02", "[Pause()]"},
    {"Command", "04", "[Top()]"},
    {"Command", "05", "[SeekRel(-5000)]"},
    {"Command", "06", "[SeekRel(5000)]"},
    {"Command", "07", "[Last()]"},
    {"Command", "10", "[Close()]"},
    {"Map", "Count", "7"},
    {"Map", "01", "008,049,01"},
    {"Map", "02", "008,050,02"},
    {"Map", "03", "008,052,04"},
    {"Map", "04", "008,053,05"},
    {"Map", "05", "008,054,06"},
    {"Map", "06", "008,055,07"},
    {"Map", "07", "008,048,10"},
};

// Entry 0 of the command list: "(なし)" in code page 932.
constexpr char kNoCommand[] = "(\x82\xC8\x82\xB5)";

// A number read by position: each character's code minus '0', none tested.
int PositionalNumber(const char *digits, int length) {
    int value = 0;
    for (int i = 0; i < length; ++i) value = value * 10 + (digits[i] - '0');
    return value;
}

}  // namespace

BOOL ApplyMapValue(HWND window, const char *value) {
    RunebyState *state = GetRunebyState(window);
    if (!state || lstrlenA(value) < 10) return FALSE;
    const WORD modifiers = static_cast<WORD>(PositionalNumber(value, 3));
    const WORD keyCode = static_cast<WORD>(PositionalNumber(value + 4, 3));
    const int command = PositionalNumber(value + 8, 2);
    const int combination = ((modifiers & KEYMOD_SHIFT) ? 1 : 0) + ((modifiers & KEYMOD_CTRL) ? 2 : 0) +
                            ((modifiers & KEYMOD_ALT) ? 4 : 0);
    KeyEntry *entry = FindKeyEntry(state->keyLists[combination], modifiers, keyCode);
    if (!entry) return FALSE;
    if (command < 1 || command >= state->commandCount) return FALSE;
    entry->command = command;
    return TRUE;
}

void LoadMapperSettings(HWND window) {
    RunebyState *state = GetRunebyState(window);
    if (!state) return;
    WriteFirstRunDefaults(window, kFirstRunDefaults, static_cast<int>(sizeof kFirstRunDefaults / sizeof *kFirstRunDefaults));
    LoadCommandList(window, kNoCommand);
    // A save writes every binding the key lists can hold, so the load reads
    // as many (a file with 99 or fewer reads as it always did).
    ReadMapEntries(window, kKeyEntryTotal, ApplyMapValue);
    ReadIconToTray(window);
}

void SaveBindings(HWND window) {
    RunebyState *state = GetRunebyState(window);
    if (!state) return;
    SettingsUpdate file(state->iniPath);
    WriteMapperVersion(file);
    int n = 0;
    for (const RecordArray &list : state->keyLists) {
        for (int i = 0; i < list.count; ++i) {
            const KeyEntry *entry = KeyAt(list, i);
            if (!entry->command) continue;
            char key[16];
            char value[32];
            wsprintfA(key, "%02d", ++n);
            wsprintfA(value, "%03u,%03u,%02u", entry->modifiers, entry->keyCode, static_cast<unsigned>(entry->command));
            file.Write("Map", key, value);
        }
    }
    char count[16];
    wsprintfA(count, "%d", n);
    file.Write("Map", "Count", count);
    file.Commit();  // a file that cannot be written keeps what it held
}
