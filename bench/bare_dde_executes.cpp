// A DDE server's resident size per command, with each command sent as the
// tests and the control tool send it: a conversation of its own (connect,
// execute, disconnect). Run against the bare server and against the player,
// it tells the platform's share of the player's memory per command.
//   bare_dde_executes SERVER.exe SERVICE COMMAND ROUNDS
// Starts SERVER.exe, sends ROUNDS commands, ends it, and prints the
// server's slope in bytes per command, fitted over the rounds after the
// first tenth.
#include <windows.h>
#include <ddeml.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "bare_slope.h"

static HDDEDATA CALLBACK Callback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) { return nullptr; }

int main(int argc, char **argv) {
    if (argc < 5) return 3;
    const int rounds = atoi(argv[4]);
    std::string line = std::string("\"") + argv[1] + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION server = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &server)) return 1;
    WaitForInputIdle(server.hProcess, 10000);
    DWORD instance = 0;
    if (DdeInitializeA(&instance, Callback, APPCMD_CLIENTONLY, 0)) return 1;
    HSZ service = DdeCreateStringHandleA(instance, argv[2], CP_WINANSI);
    HSZ topic = DdeCreateStringHandleA(instance, "Command", CP_WINANSI);
    HCONV first = nullptr;
    for (int i = 0; i < 100 && !(first = DdeConnect(instance, service, topic, nullptr)); ++i) Sleep(100);
    if (!first) return 2;
    DdeDisconnect(first);
    std::vector<double> x, y;
    int failed = 0;
    for (int i = 0; i < rounds; ++i) {
        HCONV conversation = DdeConnect(instance, service, topic, nullptr);
        if (!conversation ||
            !DdeClientTransaction(reinterpret_cast<LPBYTE>(argv[3]), static_cast<DWORD>(strlen(argv[3]) + 1),
                                  conversation, nullptr, CF_TEXT, XTYP_EXECUTE, 10000, nullptr))
            ++failed;
        if (conversation) DdeDisconnect(conversation);
        if (i >= rounds / 10 && i % 10 == 0) {
            x.push_back(i);
            y.push_back(ResidentBytes(server.hProcess));
        }
    }
    DdeFreeStringHandle(instance, service);
    DdeFreeStringHandle(instance, topic);
    DdeUninitialize(instance);
    TerminateProcess(server.hProcess, 0);
    printf("%s: %d commands (%d failed): %.2f -> %.2f MB, %.1f bytes per command\n", argv[2], rounds, failed,
           y.front() / 1048576, y.back() / 1048576, SlopePerRound(x, y));
    return 0;
}
