// Path normalisation: absolute path, long names, shortcut target; folders.
#pragma once
#include <windows.h>

struct PlayerState;

const char *FindLastBackslash(const char *path);   // DBCS-aware; null when none
void ResolvePath(char *path);                       // 260-byte buffer, rewritten in place
void ExpandLongPath(const char *source, char *destination);
int SpliceComponent(char *start, const char *name, int room);  // 0 when it would not fit
void RememberFolder(PlayerState *state, const char *path);
