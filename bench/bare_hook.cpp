// The baseline for the key latency benchmark: a bare low-level keyboard hook
// in a process of its own that notes the clock at each press of '1' and, at
// its window's WM_CLOSE, writes the notes to the file named on its command line.
#include <windows.h>
#include <cstdio>
#include <vector>

static HHOOK hook = nullptr;
static std::vector<long long> presses;

static long long NowMicroseconds() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return c.QuadPart * 1000000 / f.QuadPart;
}

static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const KBDLLHOOKSTRUCT *key = reinterpret_cast<const KBDLLHOOKSTRUCT *>(lParam);
        if (key->vkCode == '1' && !(key->flags & LLKHF_UP)) presses.push_back(NowMicroseconds());
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int) {
    hook = SetWindowsHookExA(WH_KEYBOARD_LL, HookProc, instance, 0);
    CreateWindowA("STATIC", "BareHook", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, instance, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_CLOSE) break;
        DispatchMessageA(&msg);
    }
    UnhookWindowsHookEx(hook);
    FILE *f = fopen(commandTail, "w");
    if (f) {
        for (long long t : presses) fprintf(f, "%lld\n", t);
        fclose(f);
    }
    return 0;
}
