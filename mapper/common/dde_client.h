// The command list of the settings file and the DDE conversation that carries
// its commands to the player, fire and forget.
#pragma once
#include "mapper_state.h"

// Reads the section "Command"; entry 0 holds `none`.
BOOL LoadCommandList(HWND window, const char *none);
void FreeCommandList(HWND window);
// One "%02d:%s" line per entry, in index order.
void FillCommandListBox(HWND window, int listId);
// The text of command n, or null when n names no entry or an empty one.
const char *CommandText(HWND window, int n);

void DdeClientConnect(HWND window);
void DdeClientExecute(HWND window, const char *text);
void DdeClientDisconnect(HWND window);
HDDEDATA CALLBACK DdeClientCallback(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2,
                                    HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);
// While no server of the service is there, a connect is tried when a server
// registers the service, or at most once in this many ms (1000).
extern DWORD g_ddeRetryMs;
// The open conversation, or null.
HCONV DdeClientConversation();
