// A bare DDEML client doing only what the key mapper does when the player
// comes back: a fresh instance, its two names, a connect, an execute, and
// everything given up again. Its resident size per round tells the
// platform's share of the mapper's memory per player restart.
//   bare_dde_restarts ROUNDS    (a server of "BareDde" must be running)
// Prints the slope in bytes per round, fitted over the rounds after the first tenth.
#include <windows.h>
#include <ddeml.h>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include "bare_slope.h"

static HDDEDATA CALLBACK Callback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) { return nullptr; }

static void Pump(DWORD ms) {
    const DWORD start = GetTickCount();
    MSG msg;
    while (GetTickCount() - start < ms) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(1);
    }
}

int main(int argc, char **argv) {
    const int rounds = argc > 1 ? atoi(argv[1]) : 2000;
    std::vector<double> x, y;
    for (int i = 0; i < rounds; ++i) {
        DWORD instance = 0;
        if (DdeInitializeA(&instance, Callback, APPCMD_CLIENTONLY | APPCMD_FILTERINITS | CBF_FAIL_ALLSVRXACTIONS, 0))
            return 1;
        HSZ service = DdeCreateStringHandleA(instance, "BareDde", CP_WINANSI);
        HSZ topic = DdeCreateStringHandleA(instance, "Command", CP_WINANSI);
        HCONV conversation = DdeConnect(instance, service, topic, nullptr);
        if (!conversation) return 2;
        static char command[] = "[Play()]";
        DdeClientTransaction(reinterpret_cast<LPBYTE>(command), sizeof command, conversation, nullptr, 0, XTYP_EXECUTE,
                             TIMEOUT_ASYNC, nullptr);
        Pump(5);
        DdeDisconnect(conversation);
        DdeFreeStringHandle(instance, service);
        DdeFreeStringHandle(instance, topic);
        DdeUninitialize(instance);
        if (i >= rounds / 10) {
            x.push_back(i);
            y.push_back(ResidentBytes());
        }
    }
    printf("%d rounds: %.1f -> %.1f MB, %.1f bytes per round\n", rounds, y.front() / 1048576, y.back() / 1048576,
           SlopePerRound(x, y));
    return 0;
}
