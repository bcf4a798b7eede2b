// The main window's displays: times, file name, position bar, buttons.
#pragma once
#include <windows.h>

HWND MainControl(HWND window, int controlId);  // a control of the main window
void FormatDisplayTime(char *out, int showHour, int t);
void SetTimeText(HWND window, int controlId, int t);
void SetFileNameText(HWND window, const char *name);
int GetBarPosition(HWND window);
void SetBarPosition(HWND window, int position);
void SetBarRange(HWND window, int minimum, int maximum);
void EnableButton(HWND window, int controlId, int enable);
// The caption names the playing speed while it is not 100 %.
void ShowSpeed(HWND window, int percent);
