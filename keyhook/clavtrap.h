// The keyboard hook library's working parts: a low-level keyboard hook on the
// installing thread that posts every key event, with its modifiers, to one
// window, and a watchdog that puts the hook back when the system dropped it.
#pragma once
#include <windows.h>

constexpr WORD kModShift = 4;
constexpr WORD kModCtrl = 8;
constexpr WORD kModAlt = 16;
constexpr UINT kWatchdogMs = 1000;

BOOL ClavtrapInstall(HMODULE library, HWND window, UINT message);
void ClavtrapRemove();
// The hook in place now, or null (for the watchdog's tests).
HHOOK ClavtrapHook();
// Puts the hook back when input reached the system that the hook did not see.
void ClavtrapCheckHook();
// The modifier sum (4, 8, 16) from the held modifier keys; eventKey is the
// key of the event under way.
WORD ClavtrapModifiers(DWORD eventKey);
