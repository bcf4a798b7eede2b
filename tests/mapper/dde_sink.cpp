// A DDE server standing in for the player: it takes every execute on the
// topic "Command" of the service named first on its command line and appends
// one line per execute to the log file named second: the microsecond clock at
// arrival, the byte count, and the bytes in hex. "[Stall]" makes it sleep 3 s
// inside the callback (a server that does not answer); "[Quit]" ends it.
// With "raw" third, it is a server of the plain DDE messages, without DDEML,
// as older programs are: it never registers the service, so it announces
// neither its start nor its end, and it ends its conversation when it quits.
// With "quiet" third, it logs only "[Count]", with the number of executes
// before it as the bytes (for long runs).
//   dde_sink SERVICE LOGFILE [raw|quiet]
#include <windows.h>
#include <dde.h>
#include <ddeml.h>
#include <cstdio>
#include <cstring>

namespace {

DWORD instance = 0;
HSZ topic = nullptr;
char logPath[MAX_PATH];
bool quiet = false;
unsigned long executes = 0;

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
    DdeFreeDataHandle(data);  // the receiver's to free, as the player does
    if (size >= 8 && memcmp(bytes, "[Count]", 8) == 0) {
        char count[32];
        const int length = wsprintfA(count, "%lu", executes);
        Log(reinterpret_cast<const BYTE *>(count), static_cast<DWORD>(length));
        return reinterpret_cast<HDDEDATA>(DDE_FACK);
    }
    ++executes;
    if (!quiet) Log(bytes, size);
    if (size >= 8 && memcmp(bytes, "[Stall]", 8) == 0) Sleep(3000);
    if (size >= 7 && memcmp(bytes, "[Quit]", 7) == 0) PostQuitMessage(0);
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

// The plain DDE server: one window answering initiates for the service and
// topic, acknowledging each execute with its command block.
char rawService[256];
HWND rawClient = nullptr;

LRESULT CALLBACK RawServerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND client = reinterpret_cast<HWND>(wParam);
    switch (message) {
    case WM_DDE_INITIATE: {
        char app[256] = "";
        char topicName[256] = "";
        GlobalGetAtomNameA(LOWORD(lParam), app, sizeof app);
        GlobalGetAtomNameA(HIWORD(lParam), topicName, sizeof topicName);
        if (lstrcmpiA(app, rawService) != 0 || lstrcmpiA(topicName, "Command") != 0) return 0;
        rawClient = client;
        SendMessageA(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
                     MAKELPARAM(GlobalAddAtomA(rawService), GlobalAddAtomA("Command")));
        return 0;
    }
    case WM_DDE_EXECUTE: {
        HGLOBAL commands = reinterpret_cast<HGLOBAL>(lParam);
        const BYTE *bytes = static_cast<const BYTE *>(GlobalLock(commands));
        bool quit = false;
        if (bytes) {
            const DWORD size = static_cast<DWORD>(GlobalSize(commands));
            DWORD length = 0;
            while (length < size && bytes[length]) ++length;
            Log(bytes, length < size ? length + 1 : size);
            quit = length == 6 && memcmp(bytes, "[Quit]", 6) == 0;
            GlobalUnlock(commands);
        }
        PostMessageA(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
                     PackDDElParam(WM_DDE_ACK, 0x8000, reinterpret_cast<UINT_PTR>(commands)));
        if (quit) {
            PostMessageA(client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window), 0);
            PostQuitMessage(0);
        }
        return 0;
    }
    case WM_DDE_TERMINATE:
        PostMessageA(client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window), 0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int RunRawServer() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RawServerProc;
    wc.lpszClassName = "RawDdeSink";
    RegisterClassA(&wc);
    CreateWindowA("RawDdeSink", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    Log(reinterpret_cast<const BYTE *>(""), 0);  // ready
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) return 2;
    lstrcpynA(logPath, argv[2], sizeof logPath);
    quiet = argc > 3 && strcmp(argv[3], "quiet") == 0;
    if (argc > 3 && strcmp(argv[3], "raw") == 0) {
        lstrcpynA(rawService, argv[1], sizeof rawService);
        return RunRawServer();
    }
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
