// The key mapper's record: the frame's fields, then the key lists, the
// applied bindings and the keyboard hook library.
#pragma once
#include "../common/mapper_state.h"

constexpr WORD KEYMOD_SHIFT = 4;
constexpr WORD KEYMOD_CTRL = 8;
constexpr WORD KEYMOD_ALT = 16;
constexpr int kModifierCombinations = 8;  // index bits: 1 Shift, 2 Ctrl, 4 Alt; flags = index * 4
constexpr int kKeyEntryTotal = 368;       // every key of every combination

struct KeyEntry {
    WORD modifiers;
    WORD keyCode;
    char name[32];
    int command;  // index into the command list; 0 = none
};
static_assert(sizeof(KeyEntry) == 40, "key entry");

struct RunebyState : MapperState {
    int modifierIndex;
    RecordArray keyLists[kModifierCombinations];
    RecordArray activeBindings;
    HMODULE hookModule;
    UINT hookMessage;
};

inline RunebyState *GetRunebyState(HWND window) { return static_cast<RunebyState *>(GetMapperState(window)); }

inline KeyEntry *KeyAt(const RecordArray &list, int index) {
    return static_cast<KeyEntry *>(RecordArrayEntry(&list, index, sizeof(KeyEntry)));
}
