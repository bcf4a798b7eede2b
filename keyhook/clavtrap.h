// The keyboard hook library's working parts: a thread of the library's own
// that holds a low-level keyboard hook and posts every key event, with its
// modifiers, to one window, and a watchdog on that thread that puts the hook
// back when the system dropped it or when it could not be set.
#pragma once
#include <windows.h>

constexpr WORD kModShift = 4;
constexpr WORD kModCtrl = 8;
constexpr WORD kModAlt = 16;
constexpr UINT kWatchdogMs = 1000;

// Starts the hook thread; TRUE when the hook is in place on return. On FALSE
// the thread still runs and its watchdog tries again every second.
BOOL ClavtrapInstall(HMODULE library, HWND window, UINT message);
// Ends the hook and its thread; nothing is posted after it returns.
void ClavtrapRemove();
// The hook in place now, or null (for the watchdog's tests).
HHOOK ClavtrapHook();

// The two hook calls, the system's by default (tests put failing or
// recording ones in their place).
struct ClavtrapHookCalls {
    HHOOK(WINAPI *setHook)(int type, HOOKPROC proc, HINSTANCE module, DWORD thread);
    BOOL(WINAPI *unhook)(HHOOK hook);
};
extern ClavtrapHookCalls g_clavtrapHookCalls;
