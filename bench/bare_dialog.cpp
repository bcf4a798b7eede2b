// The baseline for the start-up benchmark: a bare Win32 dialog program with a
// 200 ms timer that does nothing (also the idle CPU baseline).  Given a Wave
// file it plays it through MCI: the cost of MCI playback itself.  Given
// "--status FILE" it opens the file and asks MCI for the position at every
// tick, as the player's refresh timer must with a file open.  Built again
// importing the player's system libraries (bare_dialog_libs), and showing a
// program's own dialog template, with its controls, menu, font and first
// focus, in place of the bare one (bare_tavolin_dialog, bare_runeby_dialog,
// bare_padwig_dialog): no settings, lists, DDE or tray.  Built with BARE_NO_MCI
// it makes no MCI call and so does not import winmm, as the key mapper does not.
#include <windows.h>
#include <mmsystem.h>
#include <cstring>
#include <string>

#ifdef BARE_SAME_LIBRARIES
#include <objbase.h>
#include <shellapi.h>
// One entry point of each system library the player imports, so that each is
// loaded as the player loads it.
void *volatile sameLibraries[] = {reinterpret_cast<void *>(CoTaskMemFree),
                                  reinterpret_cast<void *>(DragAcceptFiles),
                                  reinterpret_cast<void *>(GetFileVersionInfoSizeA)};
#endif

#ifndef TEMPLATE_CLASS
#define TEMPLATE_CLASS "BareWndClass"
#define TEMPLATE_DIALOG 1
#endif

#ifdef BARE_NO_MCI
static void StartMci(HWND, const char *) {}
static void QueryMci() {}
#else
static bool queryStatus = false;

// The command tail: a Wave file to play, or "--status FILE" to open and query.
static void StartMci(HWND window, const char *tail) {
    if (!tail || !*tail) return;
    const bool status = strncmp(tail, "--status ", 9) == 0;
    const std::string open = std::string("open \"") + (status ? tail + 9 : tail) + "\" type waveaudio alias a";
    mciSendStringA(open.c_str(), nullptr, 0, nullptr);
    if (status) {
        mciSendStringA("set a time format milliseconds", nullptr, 0, nullptr);
        queryStatus = true;
    } else {
        mciSendStringA("play a", nullptr, 0, window);
    }
}

static void QueryMci() {
    if (!queryStatus) return;
    char position[32];
    mciSendStringA("status a position", position, sizeof position, nullptr);
}
#endif

static INT_PTR CALLBACK BareProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetTimer(window, 1, 200, nullptr);
        StartMci(window, reinterpret_cast<const char *>(lParam));
        return TRUE;
    case WM_TIMER:
        QueryMci();
        return TRUE;
    case WM_CLOSE: DestroyWindow(window); return TRUE;
    case WM_DESTROY: PostQuitMessage(0); return TRUE;
    default: return FALSE;
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int show) {
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = DefDlgProcA;
    wc.cbWndExtra = DLGWINDOWEXTRA + sizeof(LONG_PTR);
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = TEMPLATE_CLASS;
    RegisterClassA(&wc);
    HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(TEMPLATE_DIALOG), nullptr, BareProc,
                                     reinterpret_cast<LPARAM>(commandTail));
    if (!window) return 1;
    ShowWindow(window, show);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        if (IsDialogMessageA(window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
