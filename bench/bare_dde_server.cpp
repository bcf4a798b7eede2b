// The baseline for the DDE benchmark: a DDEML server that answers every
// execute with DDE_FACK (service "BareDde", topic "Command").
#include <windows.h>
#include <ddeml.h>

static DWORD instance = 0;

static HDDEDATA CALLBACK Callback(UINT type, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    if (type == XTYP_CONNECT) return reinterpret_cast<HDDEDATA>(TRUE);
    if (type == XTYP_EXECUTE) return reinterpret_cast<HDDEDATA>(DDE_FACK);
    return nullptr;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (DdeInitializeA(&instance, Callback, APPCMD_FILTERINITS | CBF_FAIL_ADVISES | CBF_FAIL_POKES, 0)) return 1;
    HSZ service = DdeCreateStringHandleA(instance, "BAREDDE", CP_WINANSI);
    DdeNameService(instance, service, nullptr, DNS_REGISTER);
    HWND window = CreateWindowA("STATIC", "BareDde", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    (void)window;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) DispatchMessageA(&msg);
    DdeUninitialize(instance);
    return 0;
}
