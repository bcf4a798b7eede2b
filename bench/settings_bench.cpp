// The settings writes a close must make, timed alone: the real main window
// in this process, then the same save its close makes, ten times over a file
// that already holds every key (as after the first run).  Prints the median ms.
#include <algorithm>
#include <cstdio>
#include <vector>
#include "app/main_window.h"
#include "files/settings.h"

int main() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterPlayerClass(instance)) return 1;
    HWND window = CreateMainWindow(instance);
    if (!window) return 1;
    SavePlayerSettings(window);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> ms;
    for (int i = 0; i < 10; ++i) {
        QueryPerformanceCounter(&start);
        SavePlayerSettings(window);
        QueryPerformanceCounter(&end);
        ms.push_back((end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart);
    }
    DestroyWindow(window);
    std::sort(ms.begin(), ms.end());
    printf("%.1f\n", ms[ms.size() / 2]);
    return 0;
}
