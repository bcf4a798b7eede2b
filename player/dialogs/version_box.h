// The version information box.
#pragma once
#include <windows.h>

void ShowVersionBox(HWND window);
int ReadLegalNotice(const HMODULE *module, char *out, int size);
void FormatVersionText(HWND window, char *text, int size);   // the box's text
