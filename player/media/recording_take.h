// A recording on its way to the file the user named. MCI's save writes the
// take into a file of ours in the temporary folder (under Wine, a rename of
// the driver's own file, which then holds nothing more); the take is checked
// against the length recorded and copied to the name asked for, beside it
// first and then in its place. A copy that fails (a full disk, a folder not
// there) leaves no stub behind and the take where it was, for another save.
#pragma once
#include <windows.h>

// A new, empty file in the temporary folder for MCI to save into.
bool MakeTakeFile(char *take, int size);
// The take is a whole Wave file holding at least the milliseconds recorded:
// its RIFF size is the file's, its data lies within the file. `dataBytes`
// gets the size of its samples.
bool TakeIsWhole(const char *take, int recordedMs, DWORD *dataBytes);
// Copies the take to `path`, replacing a file there only once the copy is
// whole; false with nothing at `path` changed.
bool CopyTake(const char *take, const char *path);
