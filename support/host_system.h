// What a program learns of the system it runs on: whether it is Wine, whose
// drivers and DDEML differ from Windows' where a few mends are needed (and
// must not run on Windows); system libraries loaded from the system folder
// only; and the timer resolution kept for a process whose windows are hidden.
#pragma once
#include <windows.h>

// Whether ntdll exports wine_get_version; asked once. Tests set it first:
// 0 for Windows, 1 for Wine; -1 asks.
extern int g_hostIsWine;
bool RunningUnderWine();

// A system library by its name, from the system folder only: a copy planted
// in the program's folder is never loaded. The manifest's redirections (the
// common controls 6) still apply.
HMODULE LoadSystemLibrary(const char *name);

// Windows 11 lets a process whose windows are all hidden keep the default
// timer resolution whatever it asked for; this opts out where the system
// knows the request (nothing elsewhere). Returns whether it was taken.
bool KeepTimerResolutionWhenHidden();
