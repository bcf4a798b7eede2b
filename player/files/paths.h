// Path normalisation: absolute path, long names, shortcut target; folders.
#pragma once
#include <windows.h>

struct PlayerState;

const char *FindLastBackslash(const char *path);   // DBCS-aware; null when none
void ResolvePath(char *path);                       // 260-byte buffer, rewritten in place
void ExpandLongPath(const char *source, char *destination);
int SpliceComponent(char *start, const char *name, int room);  // 0 when it would not fit
void RememberFolder(PlayerState *state, const char *path);

// Names the system hands over in full (UTF-16) as the code page writes them:
// the name itself where it can, else its short alias, which volumes that keep
// short names give for every long one. False when neither can be written;
// `ansi` then holds the name with marks where characters were lost.
bool AnsiPathFor(const WCHAR *wide, char *ansi);
// The file named on the command line: the ANSI tail, or the alias of the
// command line's own (UTF-16) tail where the ANSI one lost characters.
const char *CommandLineFileName(const char *ansiTail, char *alias);
// Whether the long name of `path` has characters the code page cannot write;
// it is then in `wide`, for the one control that shows it.
bool LongNameBeyondCodePage(const char *path, WCHAR *wide);
