// A list or combo box's drawing held off while it is filled: one scroll-bar
// update and one repaint when the guard goes, rather than one per line.
#pragma once
#include <windows.h>

class ListRedrawOff {
public:
    explicit ListRedrawOff(HWND list) : list_(list) { SendMessageA(list_, WM_SETREDRAW, FALSE, 0); }
    ~ListRedrawOff() {
        SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list_, nullptr, TRUE);
    }
    ListRedrawOff(const ListRedrawOff &) = delete;
    ListRedrawOff &operator=(const ListRedrawOff &) = delete;

private:
    HWND list_;
};
