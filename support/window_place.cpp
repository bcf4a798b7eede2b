#include "window_place.h"

void CentreWindow(HWND window) {
    HWND reference = GetParent(window);
    if (!reference || IsIconic(reference)) reference = GetDesktopWindow();
    RECT r, w;
    GetWindowRect(reference, &r);
    GetWindowRect(window, &w);
    const int width = w.right - w.left;
    const int height = w.bottom - w.top;
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    int x = (r.left + r.right) / 2 - width / 2;
    int y = (r.top + r.bottom) / 2 - height / 2;
    if (x < 0) x = 0;
    else if (x + width > screenWidth) x = screenWidth - width;
    if (y < 0) y = 0;
    else if (y + height > screenHeight) y = screenHeight - height;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
