// The baseline for the start-up benchmark: a bare Win32 dialog program with a
// 200 ms timer that does nothing (also the idle CPU baseline).
#include <windows.h>

static INT_PTR CALLBACK BareProc(HWND window, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: SetTimer(window, 1, 200, nullptr); return TRUE;
    case WM_TIMER: return TRUE;
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
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        if (IsDialogMessageA(window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
