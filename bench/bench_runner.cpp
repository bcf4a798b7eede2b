// Measurements for bench/run.sh.
//   bench_runner startup RUNS [after=MS] EXE CLASS [EXE CLASS ...]
//                                              a line per program: median ms to a visible window, to exit
//                                              after WM_CLOSE (posted once the program waits for input, or
//                                              MS later), and to that wait; the programs start in turn, so
//                                              that a machine that slows down or speeds up meanwhile weighs
//                                              on all alike
//   bench_runner cpu EXE CLASS SECONDS [ARGS]  CPU ms the program uses over SECONDS (after 2 s to settle)
//   bench_runner dde SERVICE COMMAND COUNT     executes per second over one conversation
//   bench_runner seek SERVICE LENGTH_MS COUNT  ms each "[SeekTo(t)]" takes to be answered, t spread over
//                                              the file, over one conversation: mean and longest, then
//                                              the same for "[SpeedRel(0)]", the round trip alone
//   bench_runner pointer X Y                   puts the mouse pointer at X, Y
#include "dde_link.h"
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Started {
    PROCESS_INFORMATION info = {};
    HWND window = nullptr;
};

LONGLONG Now100ns() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return c.QuadPart * 10000000 / f.QuadPart;
}

bool Launch(const std::string &exe, const std::string &args, const char *cls, Started *s, double *msToWindow,
            double *msToIdle = nullptr) {
    std::string line = "\"" + exe + "\" " + args;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    const LONGLONG t0 = Now100ns();
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &s->info)) return false;
    for (int i = 0; i < 20000 && !s->window; ++i) {
        HWND w = FindWindowA(cls, nullptr);
        if (w && IsWindowVisible(w)) s->window = w;
        else Sleep(1);
    }
    if (msToWindow) *msToWindow = (Now100ns() - t0) / 10000.0;
    // The first paint and whatever else start-up leaves for the message loop
    // are done when the program first waits for input.
    if (msToIdle) {
        WaitForInputIdle(s->info.hProcess, 5000);
        *msToIdle = (Now100ns() - t0) / 10000.0;
    }
    return s->window != nullptr;
}

double CloseAndWait(Started *s) {
    const LONGLONG t0 = Now100ns();
    PostMessageA(s->window, WM_CLOSE, 0, 0);
    WaitForSingleObject(s->info.hProcess, 20000);
    const double ms = (Now100ns() - t0) / 10000.0;
    CloseHandle(s->info.hProcess);
    CloseHandle(s->info.hThread);
    return ms;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double CpuMs(HANDLE process) {
    FILETIME c, e, k, u;
    GetProcessTimes(process, &c, &e, &k, &u);
    auto ms = [](FILETIME f) { return ((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 10000.0; };
    return ms(k) + ms(u);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) return 3;
    const std::string verb = argv[1];
    if (verb == "startup" && argc >= 5) {
        int first = 3;  // the first program's argument
        DWORD closeAfterMs = 0;
        if (strncmp(argv[first], "after=", 6) == 0) closeAfterMs = static_cast<DWORD>(atoi(argv[first++] + 6));
        if ((argc - first) < 2 || (argc - first) % 2) return 3;
        const int programs = (argc - first) / 2;
        std::vector<std::vector<double>> up(programs), down(programs), idle(programs);
        for (int i = 0; i < atoi(argv[2]); ++i) {
            for (int p = 0; p < programs; ++p) {
                Started s;
                double ms = 0, idleMs = 0;
                if (!Launch(argv[first + 2 * p], "", argv[first + 1 + 2 * p], &s, &ms, &idleMs)) return 1;
                up[p].push_back(ms);
                idle[p].push_back(idleMs);
                Sleep(closeAfterMs);
                down[p].push_back(CloseAndWait(&s));
                Sleep(200);
            }
        }
        for (int p = 0; p < programs; ++p) printf("%.1f %.1f %.1f\n", Median(up[p]), Median(down[p]), Median(idle[p]));
        return 0;
    }
    if (verb == "cpu" && argc >= 5) {
        Started s;
        if (!Launch(argv[2], argc > 5 ? argv[5] : "", argv[3], &s, nullptr)) return 1;
        Sleep(2000);
        if (argc > 6) {  // a DDE command to start with, e.g. [Play()]
            DdeLink link;
            link.Execute("Tavolin", "Command", argv[6], 5000);
        }
        const double before = CpuMs(s.info.hProcess);
        Sleep(static_cast<DWORD>(atoi(argv[4]) * 1000));
        const double used = CpuMs(s.info.hProcess) - before;
        CloseAndWait(&s);
        printf("%.1f\n", used);
        return 0;
    }
    if (verb == "dde" && argc == 5) {
        DdeLink link;
        HCONV conversation = link.Connect(argv[2], "Command");
        if (!conversation) return 2;
        const std::string command = argv[3];
        const int count = atoi(argv[4]);
        int failed = 0;
        const LONGLONG t0 = Now100ns();
        for (int i = 0; i < count; ++i)
            if (link.ExecuteOn(conversation, command, 5000) != DdeOutcome::Done) ++failed;
        const double seconds = (Now100ns() - t0) / 1e7;
        DdeDisconnect(conversation);
        printf("%.0f %d\n", count / seconds, failed);
        return 0;
    }
    if (verb == "seek" && argc == 5) {
        DdeLink link;
        HCONV conversation = link.Connect(argv[2], "Command");
        if (!conversation) return 2;
        const long long length = atoll(argv[3]);
        const int count = atoi(argv[4]);
        auto timed = [&](const std::string &command, double *longest) {
            const LONGLONG t0 = Now100ns();
            link.ExecuteOn(conversation, command, 5000);
            const double ms = (Now100ns() - t0) / 10000.0;
            *longest = std::max(*longest, ms);
            return ms;
        };
        double seekSum = 0, seekMax = 0, tripSum = 0, tripMax = 0;
        for (int i = 1; i <= count; ++i) {
            seekSum += timed("[SeekTo(" + std::to_string(length * i / (count + 1)) + ")]", &seekMax);
            tripSum += timed("[SpeedRel(0)]", &tripMax);
            Sleep(100);  // playing on from there, as after a user's seek
        }
        DdeDisconnect(conversation);
        printf("%.1f %.1f %.1f %.1f\n", seekSum / count, seekMax, tripSum / count, tripMax);
        return 0;
    }
    if (verb == "pointer" && argc == 4) return SetCursorPos(atoi(argv[2]), atoi(argv[3])) ? 0 : 1;
    return 3;
}
