#include "dde/dde_server.h"
#include "dde/command_language.h"
#include "app/player_state.h"
#include "media/media_session.h"

namespace {

constexpr const char *kTopic = "Command";
constexpr DWORD kServerFlags = APPCMD_FILTERINITS | CBF_FAIL_ADVISES | CBF_FAIL_POKES |
                               CBF_SKIP_CONNECT_CONFIRMS | CBF_SKIP_REGISTRATIONS;
static_assert(kServerFlags == 0xD4020, "server flags");

DWORD ddeInstance = 0;
HWND ddeWindow = nullptr;
char ddeServiceName[kPathSize];

void QueryString(HSZ hsz, char *out) {
    out[0] = '\0';
    if (hsz) DdeQueryStringA(ddeInstance, hsz, out, kPathSize, CP_WINANSI);
}

// Execute data: its first bytes, as many as the buffer holds; refused when
// they hold no NUL.  The data handle of an execute is the server's to free
// (Wine makes a fresh movable object for each one; kept, they fill the
// process's table of 65 536 after as many executes).
HDDEDATA OnExecute(HDDEDATA data) {
    char text[kCommandBufferSize];
    const DWORD copied = DdeGetData(data, reinterpret_cast<LPBYTE>(text), sizeof text, 0);
    if (data) DdeFreeDataHandle(data);
    bool terminated = false;
    for (DWORD i = 0; i < copied && !terminated; ++i) terminated = text[i] == '\0';
    if (!terminated) return DDE_FNOTPROCESSED;
    return RunCommandString(ddeWindow, text) ? reinterpret_cast<HDDEDATA>(DDE_FACK) : DDE_FNOTPROCESSED;
}

HDDEDATA OnRequest(HSZ item) {
    char name[kPathSize];
    char reply[kPathSize];
    QueryString(item, name);
    if (!FormatRequestItem(ddeWindow, name, reply)) return nullptr;
    return DdeCreateDataHandle(ddeInstance, reinterpret_cast<LPBYTE>(reply), lstrlenA(reply) + 1, 0, item,
                               CF_TEXT, 0);
}

}  // namespace

void DdeServerStart(HWND window) {
    if (ddeInstance) return;
    if (DdeInitializeA(&ddeInstance, DdeServerCallback, kServerFlags, 0) != DMLERR_NO_ERROR) ddeInstance = 0;
    if (!ddeInstance) return;
    ddeWindow = window;
    PlayerState *state = GetPlayerState(window);
    lstrcpynA(ddeServiceName, state ? state->appName : "", sizeof ddeServiceName);
    CharUpperBuffA(ddeServiceName, lstrlenA(ddeServiceName));
    HSZ service = DdeCreateStringHandleA(ddeInstance, ddeServiceName, CP_WINANSI);
    if (state) state->ddeServiceHsz = service;
    DdeNameService(ddeInstance, service, nullptr, DNS_REGISTER);
}

void DdeServerStop(HWND window) {
    if (!ddeInstance) return;
    PlayerState *state = GetPlayerState(window);
    if (state && state->ddeServiceHsz) {
        DdeFreeStringHandle(ddeInstance, state->ddeServiceHsz);
        state->ddeServiceHsz = nullptr;
    }
    DdeNameService(ddeInstance, nullptr, nullptr, DNS_UNREGISTER);
    DdeUninitialize(ddeInstance);
    ddeInstance = 0;
    ddeWindow = nullptr;
}

HDDEDATA CALLBACK DdeServerCallback(UINT type, UINT, HCONV, HSZ hsz1, HSZ hsz2, HDDEDATA data, ULONG_PTR,
                                    ULONG_PTR) {
    Sleep(0);
    char topic[kPathSize];
    switch (type) {
    case XTYP_CONNECT: {
        char service[kPathSize];
        QueryString(hsz1, topic);
        QueryString(hsz2, service);
        const bool accept = lstrcmpiA(service, ddeServiceName) == 0 && lstrcmpA(topic, kTopic) == 0;
        return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(accept ? TRUE : FALSE));
    }
    case XTYP_EXECUTE:
    case XTYP_REQUEST: {
        QueryString(hsz1, topic);
        g_deferErrorBoxes = true;
        HDDEDATA answer = type == XTYP_EXECUTE ? OnExecute(data) : OnRequest(hsz2);
        g_deferErrorBoxes = false;
        return answer;
    }
    default:
        // Disconnects, and what Wine delivers despite the flags (connect
        // confirmations, wild connects): all answered 0.
        return nullptr;
    }
}
