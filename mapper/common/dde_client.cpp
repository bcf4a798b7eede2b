#include "dde_client.h"
#include "list_redraw.h"

namespace {

HCONV ddeConversation = nullptr;  // one per process
HWND ddePartner = nullptr;        // the server's window of that conversation

constexpr DWORD kClientFlags = APPCMD_CLIENTONLY | APPCMD_FILTERINITS | CBF_FAIL_ALLSVRXACTIONS;
static_assert(kClientFlags == 0x3F030, "client-only, filtered initiates, no server transactions");

void DropConversation() {
    if (ddeConversation) DdeDisconnect(ddeConversation);
    ddeConversation = nullptr;
    ddePartner = nullptr;
}

// Whether the server's end of the conversation still stands. A server process
// that ends without uninitialising says nothing to its clients.
bool ConversationAlive() { return IsWindow(ddePartner) != FALSE; }

void NotePartner() {
    CONVINFO info = {};
    info.cb = sizeof info;
    ddePartner = DdeQueryConvInfo(ddeConversation, QID_SYNC, &info) ? info.hwndPartner : nullptr;
}

}  // namespace

BOOL LoadCommandList(HWND window, const char *none) {
    MapperState *state = GetMapperState(window);
    if (!state) return FALSE;
    int count = static_cast<int>(GetPrivateProfileIntA("Command", "Count", 0, state->iniPath));
    if (count < 0) count = 0;
    if (count > kCommandMax) count = kCommandMax;
    const int entries = count + 1;

    state->commandsHandle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, entries * sizeof(char *));
    state->commandHandlesHandle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, entries * sizeof(HGLOBAL));
    if (state->commandsHandle) state->commands = static_cast<char **>(GlobalLock(state->commandsHandle));
    if (state->commandHandlesHandle)
        state->commandHandles = static_cast<HGLOBAL *>(GlobalLock(state->commandHandlesHandle));
    if (!state->commands || !state->commandHandles) {
        FreeCommandList(window);
        return FALSE;
    }
    for (int i = 0; i < entries; ++i) {
        HGLOBAL text = GlobalAlloc(GMEM_ZEROINIT, kTextSize);
        char *locked = text ? static_cast<char *>(GlobalLock(text)) : nullptr;
        if (!locked) {
            if (text) GlobalFree(text);
            break;  // the list ends at the last entry that could be had
        }
        state->commandHandles[i] = text;
        state->commands[i] = locked;
        state->commandCount = i + 1;
    }
    if (state->commandCount == 0) {
        FreeCommandList(window);
        return FALSE;
    }
    lstrcpynA(state->commands[0], none, kTextSize);
    for (int n = 1; n < state->commandCount; ++n) {
        char key[16];
        wsprintfA(key, "%02d", n);
        GetPrivateProfileStringA("Command", key, "", state->commands[n], kTextSize, state->iniPath);
    }
    return TRUE;
}

void FreeCommandList(HWND window) {
    MapperState *state = GetMapperState(window);
    if (!state) return;
    for (int i = 0; i < state->commandCount; ++i) {
        if (!state->commandHandles[i]) continue;
        GlobalUnlock(state->commandHandles[i]);
        GlobalFree(state->commandHandles[i]);
    }
    if (state->commandsHandle) {
        GlobalUnlock(state->commandsHandle);
        GlobalFree(state->commandsHandle);
    }
    if (state->commandHandlesHandle) {
        GlobalUnlock(state->commandHandlesHandle);
        GlobalFree(state->commandHandlesHandle);
    }
    state->commandsHandle = state->commandHandlesHandle = nullptr;
    state->commands = nullptr;
    state->commandHandles = nullptr;
    state->commandCount = 0;
}

void FillCommandListBox(HWND window, int listId) {
    MapperState *state = GetMapperState(window);
    if (!state) return;
    HWND list = GetDlgItem(window, listId);
    ListRedrawOff quiet(list);
    for (int i = 0; i < state->commandCount; ++i) {
        char line[kTextSize + 16];
        wsprintfA(line, "%02d:%s", i, state->commands[i]);
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    }
}

const char *CommandText(HWND window, int n) {
    MapperState *state = GetMapperState(window);
    if (!state || n <= 0 || n >= state->commandCount || !state->commands[n][0]) return nullptr;
    return state->commands[n];
}

void DdeClientConnect(HWND window) {
    MapperState *state = GetMapperState(window);
    if (!state) return;
    if (!state->ddeInstance) {
        if (DdeInitializeA(&state->ddeInstance, DdeClientCallback, kClientFlags, 0) != DMLERR_NO_ERROR) {
            state->ddeInstance = 0;
            return;
        }
    }
    char service[kTextSize];
    char topic[kTextSize];
    GetPrivateProfileStringA("DDE", "ServiceName", "Tavolin", service, sizeof service, state->iniPath);
    GetPrivateProfileStringA("DDE", "TopicName", "Command", topic, sizeof topic, state->iniPath);
    if (!state->ddeService) state->ddeService = DdeCreateStringHandleA(state->ddeInstance, service, CP_WINANSI);
    if (!state->ddeTopic) state->ddeTopic = DdeCreateStringHandleA(state->ddeInstance, topic, CP_WINANSI);
    if (state->ddeService && state->ddeTopic && !ddeConversation) {
        ddeConversation = DdeConnect(state->ddeInstance, state->ddeService, state->ddeTopic, nullptr);
        if (ddeConversation) NotePartner();
    }
}

void DdeClientExecute(HWND window, const char *text) {
    MapperState *state = GetMapperState(window);
    if (!state || !text || !*text) return;
    if (ddeConversation && !ConversationAlive()) DropConversation();
    if (!ddeConversation) DdeClientConnect(window);
    if (!ddeConversation) return;
    DdeClientTransaction(reinterpret_cast<LPBYTE>(const_cast<char *>(text)), lstrlenA(text) + 1, ddeConversation,
                         nullptr, 0, XTYP_EXECUTE, TIMEOUT_ASYNC, nullptr);
}

void DdeClientDisconnect(HWND window) {
    MapperState *state = GetMapperState(window);
    if (!state || !state->ddeInstance) return;
    DropConversation();
    if (state->ddeService) DdeFreeStringHandle(state->ddeInstance, state->ddeService);
    if (state->ddeTopic) DdeFreeStringHandle(state->ddeInstance, state->ddeTopic);
    state->ddeService = state->ddeTopic = nullptr;
    DdeUninitialize(state->ddeInstance);
    state->ddeInstance = 0;
}

HDDEDATA CALLBACK DdeClientCallback(UINT type, UINT, HCONV conversation, HSZ hsz1, HSZ, HDDEDATA, ULONG_PTR,
                                    ULONG_PTR) {
    if (type == XTYP_DISCONNECT && conversation && conversation == ddeConversation) {
        DropConversation();
    } else if (type == XTYP_UNREGISTER && ddeConversation) {
        // A server that ends may never say XTYP_DISCONNECT; its service going
        // away ends our conversation all the same. (Wine names no service
        // here; then the conversation goes only when its server has gone.)
        MapperState *state = GetMapperState(g_mapperWindow);
        if (hsz1 ? state && state->ddeService && DdeCmpStringHandles(hsz1, state->ddeService) == 0
                 : !ConversationAlive())
            DropConversation();
    }
    return nullptr;
}

HCONV DdeClientConversation() { return ddeConversation; }
