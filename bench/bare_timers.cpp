// The baseline for the joystick mapper's CPU: a bare dialog program with the
// same timers (50 ms window timer, 10 ms multimedia event at 10 ms resolution)
// whose event asks all 16 joysticks for their buttons, as the mapper does;
// every 500 ms its window timer asks the first joystick for its capabilities
// and position, as the mapper's status display must. Built with
// BARE_NO_SAMPLING (bare_ticks), it has only the window timer and the status
// query: what the mapper's window must do while no joystick is there.
#include <windows.h>
#include <mmsystem.h>

static volatile DWORD words[16];

static void CALLBACK Sample(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    for (UINT j = 0; j < 16; ++j) {
        JOYINFOEX info = {};
        info.dwSize = sizeof info;
        info.dwFlags = JOY_RETURNBUTTONS;
        if (joyGetPosEx(j, &info) == JOYERR_NOERROR) words[j] = info.dwButtons;
    }
}

static INT_PTR CALLBACK BareProc(HWND window, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: SetTimer(window, 1, 50, nullptr); return TRUE;
    case WM_TIMER: {
        static DWORD last = 0;
        const DWORD now = GetTickCount();
        if (now - last >= 500) {
            last = now;
            JOYCAPSA caps;
            JOYINFO info;
            if (joyGetDevCapsA(0, &caps, sizeof caps) == JOYERR_NOERROR) joyGetPos(0, &info);
        }
        return TRUE;
    }
    case WM_CLOSE: DestroyWindow(window); return TRUE;
    case WM_DESTROY: PostQuitMessage(0); return TRUE;
    default: return FALSE;
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefDlgProcA;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "BareWndClass";
    RegisterClassA(&wc);
    HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(1), nullptr, BareProc, 0);
    if (!window) return 1;
    ShowWindow(window, show);
#ifdef BARE_NO_SAMPLING
    (void)Sample;
#else
    timeBeginPeriod(10);
    const UINT event = timeSetEvent(10, 10, Sample, 0, TIME_PERIODIC);
#endif
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        if (IsDialogMessageA(window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
#ifndef BARE_NO_SAMPLING
    timeKillEvent(event);
    timeEndPeriod(10);
#endif
    return 0;
}
