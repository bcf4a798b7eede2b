// The player's DDE service: service = the program's base name, topic "Command".
#pragma once
#include <windows.h>
#include <ddeml.h>

void DdeServerStart(HWND window);
void DdeServerStop(HWND window);
HDDEDATA CALLBACK DdeServerCallback(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2,
                                    HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);
