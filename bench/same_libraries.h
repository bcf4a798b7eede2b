// One entry point of each system library the player imports, so that a bare
// baseline built with BARE_SAME_LIBRARIES loads them all as the player does.
// (The mappers import only what the bare program does, less winmm for the key
// mapper: BARE_NO_MCI.)
#pragma once
#ifdef BARE_SAME_LIBRARIES
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
void *volatile sameLibraries[] = {reinterpret_cast<void *>(CoTaskMemFree),
                                  reinterpret_cast<void *>(DragAcceptFiles),
                                  reinterpret_cast<void *>(GetFileVersionInfoSizeA)};
#endif

