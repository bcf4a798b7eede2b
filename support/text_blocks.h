// The text blocks the programs keep their paths and names in, and the scan
// of a path for its name, stepping over DBCS trail bytes.
#pragma once
#include <windows.h>

constexpr int kTextBlockSize = MAX_PATH;  // every kept path, name and text

// One zero-filled block of kTextBlockSize bytes, locked for the window's life.
char *AllocTextBlock(HGLOBAL *handle);
void FreeTextBlock(HGLOBAL *handle, char **text);
// Notes the last '.' and '\' of text from `from` on; DBCS trail bytes are
// stepped over, so that a Shift-JIS character ending in 0x5C is no '\'.
void FindNameMarks(char *from, char **lastDot, char **lastSlash);
// The text after the last '.' of the whole path, or "" when there is none
// (or the only '.' is the first character).
const char *PathExtension(const char *path);
// The module's own file name (kTextBlockSize bytes at `path`), its last part
// in its long form, with the marks of its last '.' and '\' (each `path`
// itself when there is none).
void ModuleLongPath(HINSTANCE module, char *path, char **lastDot, char **lastSlash);
