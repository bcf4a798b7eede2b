// The open and save dialogs and dropped files.
#pragma once
#include <windows.h>
#include <shellapi.h>

int ChooseFile(HWND window, int open, const char *folder);
BOOL OnDropFiles(HWND window, HDROP drop);
void BuildFileFilter(HWND window, char *filter, int size);   // NUL-separated, double-NUL end
