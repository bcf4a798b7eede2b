// Measurements of the mappers for bench/run.sh; a DDE sink for the service
// "Sink" (tests/dde_sink.exe) logs the arrival of each command.
//   mapper_bench client LOG N     DdeClientExecute against a bare DDEML client's execute
//   mapper_bench keys LOG N       SendInput of Ctrl+1 to arrival, through a running Runeby
//   mapper_bench barekeys LOG N   SendInput of Ctrl+1 to a bare hook in another process (LOG is its file)
//   mapper_bench pad LOG N        a scripted button edge to arrival, through Padwig in this process
//   mapper_bench taps LOG N       N taps of 25 ms on a scripted button, through Padwig in this process:
//                                 how many of their commands arrive
//   mapper_bench sendinput LABEL N [CLASS]
//                                 how long each SendInput of F13 takes; with CLASS, the window of
//                                 that class is asked to save (its 保存 button) before each press
#include <windows.h>
#include <ddeml.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "common/dde_client.h"
#include "common/mapper_shell.h"
#include "padwig_program.h"
#include "padwig_state.h"

namespace {

long long NowMicroseconds() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return c.QuadPart * 1000000 / f.QuadPart;
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Arrival clocks of the sink's log, in order.
std::vector<long long> Arrivals(const char *log) {
    std::vector<long long> times;
    FILE *f = fopen(log, "r");
    if (!f) return times;
    long long us;
    unsigned long size;
    char rest[4096];
    while (fscanf(f, "%lld %lu", &us, &size) == 2) {
        if (size) times.push_back(us);
        if (!fgets(rest, sizeof rest, f)) break;
    }
    fclose(f);
    return times;
}

// Pumps until the log holds `count` arrivals; the last one, or 0 after 5 s.
long long WaitArrival(const char *log, size_t count) {
    const long long start = NowMicroseconds();
    for (;;) {
        Pump();
        std::vector<long long> times = Arrivals(log);
        if (times.size() >= count) return times[count - 1];
        if (NowMicroseconds() - start > 5000000) return 0;
        Sleep(1);
    }
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(p * (v.size() - 1))];
}

void Report(const char *what, const std::vector<double> &ms) {
    printf("%-34s median %7.3f ms  p99 %7.3f ms  max %7.3f ms  (n=%zu)\n", what, Percentile(ms, 0.5),
           Percentile(ms, 0.99), Percentile(ms, 1.0), ms.size());
}

HWND PadwigWindow() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string ini = path;
    ini = ini.substr(0, ini.find_last_of('.')) + ".ini";
    DeleteFileA(ini.c_str());
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterMapperClass(&kPadwigProgram, instance);
    HWND window = CreateMapperWindow(&kPadwigProgram, instance);
    // The first-run settings are written; the commands go to the sink.
    DestroyWindow(window);
    WritePrivateProfileStringA("DDE", "ServiceName", "Sink", ini.c_str());
    return CreateMapperWindow(&kPadwigProgram, instance);
}

HDDEDATA CALLBACK BareCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) { return nullptr; }

int Client(const char *log, int n) {
    HWND window = PadwigWindow();
    std::vector<double> callMapper, arriveMapper, callBare, arriveBare;
    size_t seen = Arrivals(log).size();
    for (int i = 0; i < n; ++i) {
        const long long t0 = NowMicroseconds();
        DdeClientExecute(window, "[Play()]");
        const long long t1 = NowMicroseconds();
        const long long arrived = WaitArrival(log, ++seen);
        if (!arrived) return 1;
        callMapper.push_back((t1 - t0) / 1000.0);
        arriveMapper.push_back((arrived - t0) / 1000.0);
    }
    DestroyWindow(window);
    DWORD instance = 0;
    DdeInitializeA(&instance, BareCallback, APPCMD_CLIENTONLY, 0);
    HSZ service = DdeCreateStringHandleA(instance, "Sink", CP_WINANSI);
    HSZ topic = DdeCreateStringHandleA(instance, "Command", CP_WINANSI);
    HCONV conversation = DdeConnect(instance, service, topic, nullptr);
    if (!conversation) return 2;
    for (int i = 0; i < n; ++i) {
        static char text[] = "[Play()]";
        const long long t0 = NowMicroseconds();
        DdeClientTransaction(reinterpret_cast<LPBYTE>(text), sizeof text, conversation, nullptr, 0, XTYP_EXECUTE,
                             TIMEOUT_ASYNC, nullptr);
        const long long t1 = NowMicroseconds();
        const long long arrived = WaitArrival(log, ++seen);
        if (!arrived) return 1;
        callBare.push_back((t1 - t0) / 1000.0);
        arriveBare.push_back((arrived - t0) / 1000.0);
    }
    DdeDisconnect(conversation);
    DdeUninitialize(instance);
    Report("DdeClientExecute returns", callMapper);
    Report("bare async execute returns", callBare);
    Report("DdeClientExecute arrives", arriveMapper);
    Report("bare async execute arrives", arriveBare);
    printf("arrival ratio %.2f (goal <= 1.2)\n", Percentile(arriveMapper, 0.5) / Percentile(arriveBare, 0.5));
    return 0;
}

void Send(WORD key, bool up) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = key;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &in, sizeof in);
}

// Ctrl+1 n times; returns the clock at each press of '1'. With a log, waits
// for each arrival there and returns the latencies instead.
std::vector<double> Chords(const char *log, int n) {
    std::vector<double> result;
    size_t seen = log ? Arrivals(log).size() : 0;
    for (int i = 0; i < n; ++i) {
        Send(VK_CONTROL, false);
        Sleep(5);
        const long long t0 = NowMicroseconds();
        Send('1', false);
        Send('1', true);
        Send(VK_CONTROL, true);
        if (log) {
            const long long arrived = WaitArrival(log, ++seen);
            if (!arrived) return {};
            result.push_back((arrived - t0) / 1000.0);
        } else {
            result.push_back(static_cast<double>(t0));
            Sleep(15);
        }
    }
    return result;
}

int BareKeys(const char *log, int n) {
    std::vector<double> sent = Chords(nullptr, n);
    HWND hook = FindWindowA("STATIC", "BareHook");
    if (!hook) return 2;
    PostMessageA(hook, WM_CLOSE, 0, 0);
    for (int i = 0; i < 200 && Arrivals(log).empty(); ++i) Sleep(25);
    std::vector<long long> seen;
    FILE *f = fopen(log, "r");
    long long t;
    while (f && fscanf(f, "%lld", &t) == 1) seen.push_back(t);
    if (f) fclose(f);
    if (seen.size() != sent.size()) {
        printf("bare hook saw %zu of %zu presses\n", seen.size(), sent.size());
        return 1;
    }
    std::vector<double> ms;
    for (size_t i = 0; i < seen.size(); ++i) ms.push_back((seen[i] - static_cast<long long>(sent[i])) / 1000.0);
    Report("SendInput to a bare hook", ms);
    return 0;
}

volatile DWORD scriptedButtons = 0;

MMRESULT WINAPI ScriptedPosEx(UINT id, LPJOYINFOEX info) {
    if (id != 0) return JOYERR_PARMS;
    info->dwButtons = scriptedButtons;
    return JOYERR_NOERROR;
}

int Pad(const char *log, int n) {
    g_joystickApi.joyGetPosEx = ScriptedPosEx;
    HWND window = PadwigWindow();
    PadwigState *state = GetPadwigState(window);
    std::vector<double> total, toStable, stableToArrival;
    size_t seen = Arrivals(log).size();
    for (int i = 0; i < n; ++i) {
        Sleep(37 + i % 23);  // edges at no fixed phase to the timers
        Pump();
        const DWORD word = scriptedButtons ^ 1u;
        const long long t0 = NowMicroseconds();
        scriptedButtons = word;
        long long stable = 0;
        for (;;) {  // watch the sample words while the window's timer runs
            if (!stable && state->stableButtons[0] == word) stable = NowMicroseconds();
            Pump();
            if (Arrivals(log).size() > seen) break;
            if (NowMicroseconds() - t0 > 5000000) return 1;
        }
        const long long arrived = Arrivals(log)[seen++];
        total.push_back((arrived - t0) / 1000.0);
        if (!stable) continue;  // settled and sent between two looks
        toStable.push_back((stable - t0) / 1000.0);
        stableToArrival.push_back((arrived - stable) / 1000.0);
    }
    DestroyWindow(window);
    Report("edge to settled sample", toStable);
    Report("settled sample to arrival", stableToArrival);
    Report("button edge to arrival", total);
    return 0;
}

// Taps of 25 ms, with 50 to 125 ms between them: in bursts faster than one
// command per 50 ms tick can carry, so that edges wait their turn, and on
// the whole slower (a joystick's queue holds 64 edges, some 3 s of commands).
int Taps(const char *log, int n) {
    g_joystickApi.joyGetPosEx = ScriptedPosEx;
    HWND window = PadwigWindow();
    const size_t before = Arrivals(log).size();
    const long long start = NowMicroseconds();
    for (int i = 0; i < n; ++i) {
        scriptedButtons = 1;
        const long long down = NowMicroseconds();
        while (NowMicroseconds() - down < 25000) {
            Pump();
            Sleep(1);
        }
        scriptedButtons = 0;
        const long long up = NowMicroseconds();
        while (NowMicroseconds() - up < 50000 + (i % 4) * 25000) {
            Pump();
            Sleep(1);
        }
    }
    const size_t wanted = before + 2 * static_cast<size_t>(n);
    const long long drained = NowMicroseconds();
    while (Arrivals(log).size() < wanted && NowMicroseconds() - drained < 2000000 + n * 120000LL) {
        Pump();
        Sleep(20);
    }
    const size_t got = Arrivals(log).size() - before;
    DestroyWindow(window);
    printf("taps of 25 ms: %d taps, %zu of %d commands arrived, %zu lost (%.0f s)\n", n, got, 2 * n,
           2 * static_cast<size_t>(n) - got, (NowMicroseconds() - start) / 1e6);
    return got == 2 * static_cast<size_t>(n) ? 0 : 1;
}

// The keyboard's wait: each SendInput returns once every low-level hook has
// taken the key.
int SendInputCalls(const char *label, int n, const char *busyClass) {
    HWND busy = busyClass ? FindWindowA(busyClass, nullptr) : nullptr;
    if (busyClass && !busy) return 2;
    std::vector<double> ms;
    for (int i = 0; i < n; ++i) {
        if (busy) PostMessageA(busy, WM_COMMAND, MAKEWPARAM(1006, BN_CLICKED), 0);
        Sleep(busy ? 2 : 10);  // the save under way
        const long long t0 = NowMicroseconds();
        Send(VK_F13, false);
        ms.push_back((NowMicroseconds() - t0) / 1000.0);
        Send(VK_F13, true);
    }
    Report(label, ms);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 4) return 3;
    const std::string verb = argv[1];
    const int n = atoi(argv[3]);
    if (verb == "client") return Client(argv[2], n);
    if (verb == "keys") {
        std::vector<double> ms = Chords(argv[2], n);
        if (ms.empty()) return 1;
        Report("SendInput to arrival via Runeby", ms);
        return 0;
    }
    if (verb == "barekeys") return BareKeys(argv[2], n);
    if (verb == "pad") return Pad(argv[2], n);
    if (verb == "taps") return Taps(argv[2], n);
    if (verb == "sendinput") return SendInputCalls(argv[2], n, argc > 4 ? argv[4] : nullptr);
    return 3;
}
