// The player's command language ("[Play()]", "[SeekRel(-5000)]") and its
// small text helpers, shared with the settings file.
#pragma once
#include <windows.h>

int ParseDecimal(const char *text);
const char *FindChar(const char *text, char c);
void FormatTimeHms(char *out, int t);
void FormatTimeHmsCs(char *out, int t);
int RunCommandString(HWND window, const char *text);

// Reply text of a request item ("GetPos", ...) into a 260-byte buffer; 0 for an unknown item.
int FormatRequestItem(HWND window, const char *item, char *out);

constexpr int kCommandBufferSize = 520;
