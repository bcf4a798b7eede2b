// The key mapper's settings: first-run defaults, the section "Map", saving.
#pragma once
#include "runeby_state.h"

void LoadMapperSettings(HWND window);
void SaveBindings(HWND window);
// Applies one "Map" value ("%03u,%03u,%02u") to the key lists; FALSE when skipped.
BOOL ApplyMapValue(HWND window, const char *value);
