// The key catalogue as eight key lists, and the bindings in force.
#pragma once
#include "runeby_state.h"

void BuildKeyLists(HWND window);
BOOL AddKeyEntry(RecordArray *list, WORD modifiers, WORD keyCode, const char *keyName);
void FillKeyList(HWND window);
void ApplyBindings(HWND window);
void FreeKeyLists(HWND window);
// The entry of the combination's list with exactly these modifiers and key, or null.
KeyEntry *FindKeyEntry(const RecordArray &list, WORD modifiers, WORD keyCode);
