// One entry point of each system library a program imports, so that a bare
// baseline loads them all as the program does: BARE_SAME_LIBRARIES for the
// player's, BARE_MAPPER_LIBRARIES for the mappers' (winmm, which the bare
// program imports for its MCI calls, is left out with BARE_NO_MCI).
#pragma once
#ifdef BARE_SAME_LIBRARIES
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
void *volatile sameLibraries[] = {reinterpret_cast<void *>(CoTaskMemFree),
                                  reinterpret_cast<void *>(DragAcceptFiles),
                                  reinterpret_cast<void *>(GetFileVersionInfoSizeA)};
#endif

#ifdef BARE_MAPPER_LIBRARIES
#include <windows.h>
#include <commctrl.h>
void *volatile mapperLibraries[] = {reinterpret_cast<void *>(InitCommonControls)};
#endif
