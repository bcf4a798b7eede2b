#include "button_bindings.h"
#include "res/resource.h"
#include "../common/dde_client.h"
#include "../common/mapper_settings.h"

namespace {

constexpr IniValue kFirstRunDefaults[] = {
    {"Padwig", "Version", kMapperVersion},
    {"DDE", "ServiceName", "Tavolin"},
    {"DDE", "TopicName", "Command"},
    {"Command", "Count", "10"},
    {"Command", "01", "[Play()]"},
    {"Command", "02", "[Pause()]"},
    {"Command", "03", "[Play(-5000)]"},
    {"Command", "04", "[Top()]"},
    {"Command", "05", "[SeekRel(-5000)]"},
    {"Command", "06", "[SeekRel(5000)]"},
    {"Command", "07", "[Last()]"},
    {"Command", "08", "[PlayPause(-5000)]"},
    {"Command", "10", "[Close()]"},
    {"Map", "Count", "2"},
    {"Map", "01", "00,00,03,02"},
    {"Map", "02", "00,01,08,00"},
};

// A save writes every bound button of up to 16 joysticks.
constexpr int kMapEntryMax = kJoystickMax * kButtonMax;

int TwoDigits(const char *p) { return 10 * (p[0] - '0') + (p[1] - '0'); }

void ResetActiveBindings(PadwigState *state) {
    RecordArrayFree(&state->activeBindings);
    RecordArrayInit(&state->activeBindings, sizeof(ButtonBinding));
}

}  // namespace

void BuildButtonLists(HWND window) {
    PadwigState *state = GetPadwigState(window);
    if (!state) return;
    char format[kTextSize] = "";
    LoadStringA(state->instance, IDS_BUTTON_LABEL, format, sizeof format);
    for (int j = 0; j < kJoystickMax; ++j) {
        RecordArrayInit(&state->buttonLists[j], sizeof(ButtonBinding));
        for (int b = 0; b < kButtonMax; ++b) {
            ButtonBinding binding = {};
            binding.joystick = static_cast<DWORD>(j);
            binding.button = static_cast<DWORD>(b);
            char label[kTextSize + 16];
            wsprintfA(label, format, b + 1);
            lstrcpynA(binding.label, label, sizeof binding.label);
            RecordArrayAppend(&state->buttonLists[j], &binding, sizeof binding);
        }
    }
}

BOOL ApplyButtonMapValue(HWND window, const char *value) {
    PadwigState *state = GetPadwigState(window);
    if (!state || lstrlenA(value) < 11) return FALSE;
    const int joystick = TwoDigits(value);
    const int button = TwoDigits(value + 3);
    const int press = TwoDigits(value + 6);
    const int release = TwoDigits(value + 9);
    if (joystick < 0 || joystick >= kJoystickMax) return FALSE;
    const RecordArray &list = state->buttonLists[joystick];
    for (int i = 0; i < list.count; ++i) {
        ButtonBinding *binding = BindingAt(list, i);
        if (static_cast<int>(binding->button) != button) continue;
        if (press > 0 && press < state->commandCount) binding->pressCommand = press;
        if (release > 0 && release < state->commandCount) binding->releaseCommand = release;
        return TRUE;
    }
    return FALSE;
}

void LoadJoystickSettings(HWND window) {
    PadwigState *state = GetPadwigState(window);
    if (!state) return;
    WriteFirstRunDefaults(window, kFirstRunDefaults, static_cast<int>(sizeof kFirstRunDefaults / sizeof *kFirstRunDefaults));
    char none[kTextSize] = "";
    LoadStringA(state->instance, IDS_NO_COMMAND, none, sizeof none);
    LoadCommandList(window, none);
    // Every entry a save can write is read back (a file with 64 or fewer reads
    // as it always did).
    ReadMapEntries(window, kMapEntryMax, ApplyButtonMapValue);
    ReadIconToTray(window);
}

void ApplyBindings(HWND window) {
    PadwigState *state = GetPadwigState(window);
    if (!state) return;
    ResetActiveBindings(state);
    for (const RecordArray &list : state->buttonLists) {
        for (int i = 0; i < list.count; ++i) {
            const ButtonBinding *binding = BindingAt(list, i);
            if (binding->pressCommand || binding->releaseCommand)
                RecordArrayAppend(&state->activeBindings, binding, sizeof *binding);
        }
    }
}

void ClearBindings(HWND window) {
    PadwigState *state = GetPadwigState(window);
    if (!state) return;
    ResetActiveBindings(state);
    for (const RecordArray &list : state->buttonLists) {
        for (int i = 0; i < list.count; ++i) {
            BindingAt(list, i)->pressCommand = 0;
            BindingAt(list, i)->releaseCommand = 0;
        }
    }
}

void SaveBindings(HWND window) {
    PadwigState *state = GetPadwigState(window);
    if (!state) return;
    SettingsUpdate file(state->iniPath);
    WriteMapperVersion(file);
    int n = 0;
    for (int j = 0; j < state->joystickCount && j < kJoystickMax; ++j) {
        const RecordArray &list = state->buttonLists[j];
        for (int i = 0; i < list.count; ++i) {
            const ButtonBinding *binding = BindingAt(list, i);
            if (!binding->pressCommand && !binding->releaseCommand) continue;
            char key[16];
            char value[32];
            wsprintfA(key, "%02d", ++n);
            wsprintfA(value, "%02u,%02u,%02u,%02u", static_cast<unsigned>(binding->joystick),
                      static_cast<unsigned>(binding->button), static_cast<unsigned>(binding->pressCommand),
                      static_cast<unsigned>(binding->releaseCommand));
            file.Write("Map", key, value);
        }
    }
    char count[16];
    wsprintfA(count, "%d", n);
    file.Write("Map", "Count", count);
    file.Commit();  // a file that cannot be written keeps what it held
}

void FreeButtonLists(HWND window) {
    PadwigState *state = GetPadwigState(window);
    if (!state) return;
    for (RecordArray &list : state->buttonLists) RecordArrayFree(&list);
    RecordArrayFree(&state->activeBindings);
}
