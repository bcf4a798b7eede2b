// A DDE server standing in for the player: it takes every execute on the
// topic "Command" of the service named first on its command line and appends
// one line per execute to the log file named second: the microsecond clock at
// arrival, the byte count, and the bytes in hex. "[Stall]" makes it sleep 3 s
// inside the callback (a server that does not answer); "[Quit]" ends it.
//   dde_sink SERVICE LOGFILE
#include <windows.h>
#include <ddeml.h>
#include <cstdio>
#include <cstring>

namespace {

DWORD instance = 0;
HSZ topic = nullptr;
char logPath[MAX_PATH];

LONGLONG NowMicroseconds() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return c.QuadPart * 1000000 / f.QuadPart;
}

void Log(const BYTE *data, DWORD size) {
    FILE *f = fopen(logPath, "ab");
    if (!f) return;
    fprintf(f, "%lld %lu ", NowMicroseconds(), size);
    for (DWORD i = 0; i < size; ++i) fprintf(f, "%02x", data[i]);
    fputs("\n", f);
    fclose(f);
}

HDDEDATA CALLBACK Callback(UINT type, UINT, HCONV, HSZ hsz1, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
    if (type == XTYP_CONNECT) return reinterpret_cast<HDDEDATA>(DdeCmpStringHandles(hsz1, topic) == 0);
    if (type != XTYP_EXECUTE) return nullptr;
    BYTE bytes[2048];
    const DWORD size = DdeGetData(data, bytes, sizeof bytes, 0);
    Log(bytes, size);
    if (size >= 8 && memcmp(bytes, "[Stall]", 8) == 0) Sleep(3000);
    if (size >= 7 && memcmp(bytes, "[Quit]", 7) == 0) PostQuitMessage(0);
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) return 2;
    lstrcpynA(logPath, argv[2], sizeof logPath);
    if (DdeInitializeA(&instance, Callback, APPCMD_FILTERINITS | CBF_FAIL_ADVISES | CBF_FAIL_POKES |
                                               CBF_FAIL_REQUESTS, 0))
        return 1;
    HSZ service = DdeCreateStringHandleA(instance, argv[1], CP_WINANSI);
    topic = DdeCreateStringHandleA(instance, "Command", CP_WINANSI);
    DdeNameService(instance, service, nullptr, DNS_REGISTER);
    Log(reinterpret_cast<const BYTE *>(""), 0);  // ready
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    DdeNameService(instance, service, nullptr, DNS_UNREGISTER);
    DdeUninitialize(instance);
    return 0;
}
