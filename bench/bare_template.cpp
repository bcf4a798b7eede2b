// A start-up baseline that shows a program's own dialog template (its
// controls, menu and font) from a bare program: the class registered with
// DefDlgProc, no settings, lists, tooltips, DDE or tray. Built once per
// program; the player's also imports the player's system libraries.
#include <windows.h>
#include "same_libraries.h"

static INT_PTR CALLBACK BareProc(HWND window, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_CLOSE: DestroyWindow(window); return TRUE;
    case WM_DESTROY: PostQuitMessage(0); return TRUE;
    default: return FALSE;
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = DefDlgProcA;
    wc.cbWndExtra = DLGWINDOWEXTRA + sizeof(LONG_PTR);
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = TEMPLATE_CLASS;
    RegisterClassA(&wc);
    HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(TEMPLATE_DIALOG), nullptr, BareProc, 0);
    if (!window) return 1;
    ShowWindow(window, show);
    UpdateWindow(window);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        if (IsDialogMessageA(window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
