#include "key_lists.h"
#include "res/resource.h"
#include "../common/list_redraw.h"

namespace {

// The four arrows' names: code page 932's two-byte arrow characters.
constexpr struct {
    WORD code;
    const char *name;
} kArrows[] = {
    {VK_LEFT, "\x81\xA9"},   // left
    {VK_UP, "\x81\xAA"},     // up
    {VK_RIGHT, "\x81\xA8"},  // right
    {VK_DOWN, "\x81\xAB"},   // down
};

// The keyboard's media keys, offered without modifiers after F15.
constexpr struct {
    WORD code;
    const char *name;
} kMediaKeys[] = {
    {VK_MEDIA_PLAY_PAUSE, "Play/Pause"},
    {VK_MEDIA_STOP, "Stop"},
    {VK_MEDIA_NEXT_TRACK, "Next Track"},
    {VK_MEDIA_PREV_TRACK, "Prev Track"},
};
static_assert(VK_MEDIA_PLAY_PAUSE == 0xB3 && VK_MEDIA_STOP == 0xB2 && VK_MEDIA_NEXT_TRACK == 0xB0 &&
                  VK_MEDIA_PREV_TRACK == 0xB1,
              "media key codes as saved");

}  // namespace

BOOL AddKeyEntry(RecordArray *list, WORD modifiers, WORD keyCode, const char *keyName) {
    KeyEntry entry = {};
    entry.modifiers = modifiers;
    entry.keyCode = keyCode;
    wsprintfA(entry.name, "%s%s%s%.13s", (modifiers & KEYMOD_SHIFT) ? "Shift+" : "",
              (modifiers & KEYMOD_CTRL) ? "Ctrl+" : "", (modifiers & KEYMOD_ALT) ? "Alt+" : "", keyName);
    return RecordArrayAppend(list, &entry, sizeof entry);
}

void BuildKeyLists(HWND window) {
    RunebyState *state = GetRunebyState(window);
    if (!state) return;
    for (int i = 0; i < kModifierCombinations; ++i) {
        RecordArray *list = &state->keyLists[i];
        const WORD flags = static_cast<WORD>(i * 4);
        RecordArrayInit(list, sizeof(KeyEntry));
        char name[8];
        if (i >= 2) {
            for (WORD code = '1'; code <= '9'; ++code) {
                wsprintfA(name, "%c", code);
                AddKeyEntry(list, flags, code, name);
            }
            AddKeyEntry(list, flags, '0', "0");
            for (WORD code = 'A'; code <= 'Z'; ++code) {
                wsprintfA(name, "%c", code);
                AddKeyEntry(list, flags, code, name);
            }
        }
        if (i >= 1) {
            for (const auto &arrow : kArrows) AddKeyEntry(list, flags, arrow.code, arrow.name);
        }
        for (int f = 1; f <= 15; ++f) {
            wsprintfA(name, "F%d", f);
            AddKeyEntry(list, flags, static_cast<WORD>(VK_F1 + f - 1), name);
        }
        if (i == 0) {
            for (const auto &media : kMediaKeys) AddKeyEntry(list, flags, media.code, media.name);
        }
    }
}

KeyEntry *FindKeyEntry(const RecordArray &list, WORD modifiers, WORD keyCode) {
    for (int i = 0; i < list.count; ++i) {
        KeyEntry *entry = KeyAt(list, i);
        if (entry->keyCode == keyCode && entry->modifiers == modifiers) return entry;
    }
    return nullptr;
}

void FillKeyList(HWND window) {
    RunebyState *state = GetRunebyState(window);
    if (!state) return;
    HWND box = GetDlgItem(window, IDC_KEYLIST);
    ListRedrawOff quiet(box);
    SendMessageA(box, LB_RESETCONTENT, 0, 0);
    const RecordArray &list = state->keyLists[state->modifierIndex];
    for (int i = 0; i < list.count; ++i) {
        KeyEntry *entry = KeyAt(list, i);
        const LRESULT line = SendMessageA(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry->name));
        if (line >= 0) SendMessageA(box, LB_SETITEMDATA, line, reinterpret_cast<LPARAM>(entry));
    }
}

void ApplyBindings(HWND window) {
    RunebyState *state = GetRunebyState(window);
    if (!state) return;
    RecordArrayFree(&state->activeBindings);
    RecordArrayInit(&state->activeBindings, sizeof(KeyEntry));
    for (const RecordArray &list : state->keyLists) {
        for (int i = 0; i < list.count; ++i) {
            const KeyEntry *entry = KeyAt(list, i);
            if (entry->command) RecordArrayAppend(&state->activeBindings, entry, sizeof(KeyEntry));
        }
    }
}

void FreeKeyLists(HWND window) {
    RunebyState *state = GetRunebyState(window);
    if (!state) return;
    for (RecordArray &list : state->keyLists) RecordArrayFree(&list);
    RecordArrayFree(&state->activeBindings);
}
