// WinShot: saves a top-level window (found by class, optionally by title) as a
// 24-bit BMP, copied from the screen.  WinShot CLASS OUT.bmp [TITLE] [WAIT_MS]
// CLASS "*" with TITLE "*" saves the whole screen.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: WinShot CLASS OUT.bmp [TITLE] [WAIT_MS]\n");
        return 3;
    }
    const char *cls = strcmp(argv[1], "*") == 0 ? nullptr : argv[1];
    const char *title = argc > 3 && strcmp(argv[3], "*") != 0 ? argv[3] : nullptr;
    const DWORD wait = argc > 4 ? static_cast<DWORD>(atoi(argv[4])) : 10000;
    RECT r = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (cls || title) {
        HWND window = nullptr;
        for (DWORD start = GetTickCount(); !window && GetTickCount() - start < wait; Sleep(50)) {
            window = FindWindowA(cls, title);
            if (window && !IsWindowVisible(window)) window = nullptr;
        }
        if (!window) return 1;
        Sleep(300);
        GetWindowRect(window, &r);
    }
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + stride * h;
    FILE *out = fopen(argv[2], "wb");
    if (!out) return 2;
    fwrite(&file, sizeof file, 1, out);
    fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
    fwrite(bits, stride, h, out);
    fclose(out);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return 0;
}
