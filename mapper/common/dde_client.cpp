#include "dde_client.h"
#include "list_redraw.h"
#include "host_system.h"
#include "settings_section.h"

DWORD g_ddeRetryMs = 1000;

namespace {

HCONV ddeConversation = nullptr;  // one per process
HWND ddePartner = nullptr;        // the server's window of that conversation
bool ddeServerAbsent = false;     // the last connect found no server of the service
DWORD ddeLastAttempt = 0;         // GetTickCount at the end of that connect
bool ddeRestart = false;          // the instance must start afresh before the next connect
WNDPROC ddeClientProc = nullptr;  // DDEML's own procedure of its conversation windows
int executesUnanswered = 0;       // executes sent in the conversation and not yet acknowledged

constexpr DWORD kClientFlags = APPCMD_CLIENTONLY | APPCMD_FILTERINITS | CBF_FAIL_ALLSVRXACTIONS;
static_assert(kClientFlags == 0x3F030, "client-only, filtered initiates, no server transactions");

void DropConversation() {
    if (ddeConversation) DdeDisconnect(ddeConversation);  // frees what it still holds
    executesUnanswered = 0;
    ddeConversation = nullptr;
    ddePartner = nullptr;
}

// Whether the server's end of the conversation still stands. A server process
// that ends without uninitialising says nothing to its clients.
bool ConversationAlive() { return IsWindow(ddePartner) != FALSE; }

// The acknowledgement of an execute hands back the command block. Windows'
// DDEML frees it, with the transaction, and the application must not. Wine's
// keeps both: an asynchronous execute stays queued in the conversation after
// its acknowledgement (with its block, a movable block per command, until the
// process can allocate no more, and its record on the heap: about 44 bytes of
// resident memory per command, in a mapper that runs for weeks). There, and
// only there, once every execute sent has been acknowledged, the
// conversation's transactions are abandoned, which frees each with its block.

LRESULT CALLBACK ConversationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC original = ddeClientProc;
    if (!original) return DefWindowProcA(window, message, wParam, lParam);
    const LRESULT result = CallWindowProcA(original, window, message, wParam, lParam);
    if (message != WM_DDE_ACK) return result;
    if (executesUnanswered > 0) --executesUnanswered;
    MapperState *state = GetMapperState(g_mapperWindow);
    if (!executesUnanswered && state && state->ddeInstance && ddeConversation)
        DdeAbandonTransaction(state->ddeInstance, ddeConversation, 0);
    return result;
}

void NotePartner() {
    CONVINFO info = {};
    info.cb = sizeof info;
    if (!DdeQueryConvInfo(ddeConversation, QID_SYNC, &info)) return;
    ddePartner = info.hwndPartner;
    if (!RunningUnderWine()) return;
    WNDPROC own = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(info.hwnd, GWLP_WNDPROC));
    if (!own || own == ConversationWindowProc) return;
    ddeClientProc = own;
    SetWindowLongPtrA(info.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ConversationWindowProc));
}

// A top-level window of another thread that does not answer at once would
// hold a connect's broadcast: Wine's waits 5 s for each such window, Windows'
// as long as it hangs.
constexpr UINT kAnswerWithinMs = 30;

BOOL CALLBACK FindSilentWindow(HWND window, LPARAM found) {
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) return TRUE;
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, kAnswerWithinMs, &result))
        return TRUE;
    *reinterpret_cast<bool *>(found) = true;
    return FALSE;
}

bool AWindowIsSilent() {
    bool found = false;
    EnumWindows(FindSilentWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

// While no server of the service is known to be there, a connect (which asks
// every top-level window, and waits for each that does not answer) is made
// only when a server registers the service, or now and then for one that did
// not announce itself, and then only while every window answers.
bool ConnectWorthTrying() {
    if (!ddeServerAbsent) return true;
    if (GetTickCount() - ddeLastAttempt < g_ddeRetryMs) return false;
    if (!AWindowIsSilent()) return true;
    ddeLastAttempt = GetTickCount();  // asked again a retry later
    return false;
}

// The partner went without a word that DDEML passed on: its conversation may
// linger in the instance and spoil later connects. The instance starts
// afresh, with the names it had (a changed setting still waits for the next
// start of the program), and the service is worth a connect at once.
void RestartInstance(HWND window, MapperState *state) {
    char service[kTextSize] = "";
    char topic[kTextSize] = "";
    if (state->ddeService) DdeQueryStringA(state->ddeInstance, state->ddeService, service, sizeof service, CP_WINANSI);
    if (state->ddeTopic) DdeQueryStringA(state->ddeInstance, state->ddeTopic, topic, sizeof topic, CP_WINANSI);
    DdeClientDisconnect(window);
    if (DdeInitializeA(&state->ddeInstance, DdeClientCallback, kClientFlags, 0) != DMLERR_NO_ERROR) {
        state->ddeInstance = 0;
        return;
    }
    if (*service) state->ddeService = DdeCreateStringHandleA(state->ddeInstance, service, CP_WINANSI);
    if (*topic) state->ddeTopic = DdeCreateStringHandleA(state->ddeInstance, topic, CP_WINANSI);
}

}  // namespace

BOOL LoadCommandList(HWND window, const char *none) {
    MapperState *state = GetMapperState(window);
    if (!state) return FALSE;
    const SettingsSection section("Command", state->iniPath);
    int count = section.Int("Count", 0);
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
        section.Value(key, state->commands[n], kTextSize);
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
    if (!state->ddeService) {
        char service[kTextSize];
        GetPrivateProfileStringA("DDE", "ServiceName", "Tavolin", service, sizeof service, state->iniPath);
        state->ddeService = DdeCreateStringHandleA(state->ddeInstance, service, CP_WINANSI);
    }
    if (!state->ddeTopic) {
        char topic[kTextSize];
        GetPrivateProfileStringA("DDE", "TopicName", "Command", topic, sizeof topic, state->iniPath);
        state->ddeTopic = DdeCreateStringHandleA(state->ddeInstance, topic, CP_WINANSI);
    }
    if (state->ddeService && state->ddeTopic && !ddeConversation && ConnectWorthTrying()) {
        ddeConversation = DdeConnect(state->ddeInstance, state->ddeService, state->ddeTopic, nullptr);
        ddeServerAbsent = !ddeConversation;
        ddeLastAttempt = GetTickCount();
        if (ddeConversation) NotePartner();
    }
}

void DdeClientExecute(HWND window, const char *text) {
    MapperState *state = GetMapperState(window);
    if (!state || !text || !*text) return;
    if (ddeConversation && !ConversationAlive()) ddeRestart = true;
    if (ddeRestart) RestartInstance(window, state);
    if (!ddeConversation) DdeClientConnect(window);
    if (!ddeConversation) return;
    if (DdeClientTransaction(reinterpret_cast<LPBYTE>(const_cast<char *>(text)), lstrlenA(text) + 1, ddeConversation,
                             nullptr, 0, XTYP_EXECUTE, TIMEOUT_ASYNC, nullptr))
        ++executesUnanswered;
}

void DdeClientDisconnect(HWND window) {
    MapperState *state = GetMapperState(window);
    ddeServerAbsent = false;
    ddeRestart = false;
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
    MapperState *state = GetMapperState(g_mapperWindow);
    const bool ourService = hsz1 && state && state->ddeService && DdeCmpStringHandles(hsz1, state->ddeService) == 0;
    if (type == XTYP_DISCONNECT && conversation && conversation == ddeConversation) {
        DropConversation();
    } else if (type == XTYP_REGISTER && ourService) {
        ddeServerAbsent = false;  // the next command connects
    } else if (type == XTYP_UNREGISTER && ourService && ddeConversation) {
        // A server that ends may never say XTYP_DISCONNECT (Wine's DDEML does
        // not pass it on); its service going away, named in hsz1, ends our
        // conversation all the same. The instance starts afresh before the
        // next connect: it is not ended here, inside its own callback.
        ddeRestart = true;
    }
    return nullptr;
}

HCONV DdeClientConversation() { return ddeConversation; }
