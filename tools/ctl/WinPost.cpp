// WinPost: posts one message to a top-level window found by class, for
// driving a program from scripts.   WinPost CLASS MESSAGE WPARAM LPARAM
#include <windows.h>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: WinPost CLASS MESSAGE WPARAM LPARAM\n");
        return 3;
    }
    HWND window = nullptr;
    for (int i = 0; i < 100 && !window; ++i, Sleep(50)) window = FindWindowA(argv[1], nullptr);
    if (!window) return 1;
    const UINT message = static_cast<UINT>(strtoul(argv[2], nullptr, 0));
    return PostMessageA(window, message, strtoul(argv[3], nullptr, 0), strtol(argv[4], nullptr, 0)) ? 0 : 2;
}
