// One entry point of each system library the player imports, so that a bare
// baseline built with BARE_SAME_LIBRARIES loads them all as the player does.
#pragma once
#ifdef BARE_SAME_LIBRARIES
#include <windows.h>
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
void *volatile sameLibraries[] = {reinterpret_cast<void *>(CommDlgExtendedError),
                                  reinterpret_cast<void *>(CoTaskMemFree),
                                  reinterpret_cast<void *>(DragAcceptFiles),
                                  reinterpret_cast<void *>(GetFileVersionInfoSizeA)};
#endif
