// The recording format dialog (DIALOG 132).
#pragma once
#include <windows.h>
#include "app/player_state.h"

INT_PTR CALLBACK RecordFormatDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void UpdateDataRate(HWND dialog);
RecordFormat ReadFormatChoices(HWND dialog);
void FormatDataRate(const RecordFormat &format, char *perSecond, char *perHour);
