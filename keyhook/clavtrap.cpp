#include "clavtrap.h"

ClavtrapHookCalls g_clavtrapHookCalls = {SetWindowsHookExA, UnhookWindowsHookEx};

namespace {

// Written by the installing thread only while no hook thread runs; after
// that, everything but `thread` and `threadId` belongs to the hook thread.
struct HookState {
    HMODULE library;
    HWND window;
    UINT message;
    HANDLE thread;
    DWORD threadId;
    HANDLE ready;          // set once the thread has its queue and its first try
    HHOOK hook;
    bool insideHook;       // a second hook of ours, called through the chain
    DWORD heldModifiers;   // bit per modifier key (below) held down
    DWORD lastSeenInput;   // GetLastInputInfo at the watchdog's last look
    DWORD eventsSeen;      // hook events so far
    DWORD eventsAtLook;    // ... at the watchdog's last look
};
HookState hs;

// The modifier keys a low-level hook may be given (the sided codes, and the
// plain ones that injected input can carry), the flag each adds, and the
// plain key whose system state covers both sides.
constexpr struct {
    DWORD vk;
    WORD flag;
    int plain;
} kModifierKeys[] = {
    {VK_LSHIFT, kModShift, VK_SHIFT},     {VK_RSHIFT, kModShift, VK_SHIFT},     {VK_SHIFT, kModShift, VK_SHIFT},
    {VK_LCONTROL, kModCtrl, VK_CONTROL}, {VK_RCONTROL, kModCtrl, VK_CONTROL}, {VK_CONTROL, kModCtrl, VK_CONTROL},
    {VK_LMENU, kModAlt, VK_MENU},         {VK_RMENU, kModAlt, VK_MENU},         {VK_MENU, kModAlt, VK_MENU},
};
constexpr int kModifierKeyCount = sizeof kModifierKeys / sizeof *kModifierKeys;

int ModifierKeyIndex(DWORD vk) {
    for (int i = 0; i < kModifierKeyCount; ++i)
        if (kModifierKeys[i].vk == vk) return i;
    return -1;
}

bool SystemHolds(int plainKey) { return (GetAsyncKeyState(plainKey) & 0x8000) != 0; }

// Modifiers the system holds now count as held, also those pressed before
// the hook was there to see them.
void TakeSystemModifiers() {
    for (int i = 0; i < kModifierKeyCount; ++i)
        if (kModifierKeys[i].vk == static_cast<DWORD>(kModifierKeys[i].plain) && SystemHolds(kModifierKeys[i].plain))
            hs.heldModifiers |= 1u << i;
}

// The modifier sum (4, 8, 16) for an event of eventKey. A modifier counts
// while it is held and the system still holds it (either side): a release
// the hook missed cannot leave it held. The key of the event under way is
// not yet in the system's state.
WORD HeldModifiers(DWORD eventKey) {
    const int eventModifier = ModifierKeyIndex(eventKey);
    WORD flags = 0;
    for (int i = 0; i < kModifierKeyCount; ++i) {
        if (!(hs.heldModifiers & (1u << i))) continue;
        if (i != eventModifier && !SystemHolds(kModifierKeys[i].plain)) {
            hs.heldModifiers &= ~(1u << i);
            continue;
        }
        flags |= kModifierKeys[i].flag;
    }
    return flags;
}

void NoteModifier(DWORD vk, bool release) {
    const int modifier = ModifierKeyIndex(vk);
    if (modifier < 0) return;
    if (!release) {
        hs.heldModifiers |= 1u << modifier;
        return;
    }
    hs.heldModifiers &= ~(1u << modifier);
    // A release of either side ends a hold taken from the system's state,
    // which cannot tell the sides apart.
    for (int i = 0; i < kModifierKeyCount; ++i)
        if (kModifierKeys[i].flag == kModifierKeys[modifier].flag &&
            kModifierKeys[i].vk == static_cast<DWORD>(kModifierKeys[i].plain))
            hs.heldModifiers &= ~(1u << i);
}

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && !hs.insideHook) {
        const KBDLLHOOKSTRUCT *key = reinterpret_cast<const KBDLLHOOKSTRUCT *>(lParam);
        const bool release = (key->flags & LLKHF_UP) != 0;
        ++hs.eventsSeen;
        NoteModifier(key->vkCode, release);
        const WPARAM notice = MAKEWPARAM(static_cast<WORD>(key->vkCode), HeldModifiers(key->vkCode));
        PostMessageA(hs.window, hs.message, notice, release ? static_cast<LPARAM>(0x80000000u) : 0);
    }
    // While a new hook and the old one are both in place, the event reaches
    // this procedure twice; only the outer call reports it.
    const bool outer = !hs.insideHook;
    hs.insideHook = true;
    const LRESULT result = CallNextHookEx(hs.hook, code, wParam, lParam);
    if (outer) hs.insideHook = false;
    return result;
}

void NoteInputSeen() {
    LASTINPUTINFO input = {sizeof input, 0};
    GetLastInputInfo(&input);
    hs.lastSeenInput = input.dwTime;
    hs.eventsAtLook = hs.eventsSeen;
}

// Puts a new hook on top, then takes the old one away: no moment without one.
void SetHook() {
    TakeSystemModifiers();
    HHOOK fresh = g_clavtrapHookCalls.setHook(WH_KEYBOARD_LL, KeyboardHookProc, hs.library, 0);
    if (!fresh) return;
    if (hs.hook) g_clavtrapHookCalls.unhook(hs.hook);
    hs.hook = fresh;
}

void CheckHook() {
    if (!hs.hook) {
        SetHook();  // the last try failed
        NoteInputSeen();
        return;
    }
    LASTINPUTINFO input = {sizeof input, 0};
    if (!GetLastInputInfo(&input)) return;
    const bool inputCame = input.dwTime != hs.lastSeenInput;
    const bool hookSawNothing = hs.eventsSeen == hs.eventsAtLook;
    hs.lastSeenInput = input.dwTime;
    hs.eventsAtLook = hs.eventsSeen;
    // Input reached the system and the hook saw none of it: the hook may have
    // been dropped (a procedure over the system's time-out). When it was only
    // mouse input, this costs one hook and unhook.
    if (inputCame && hookSawNothing) SetHook();
}

VOID CALLBACK WatchdogTimer(HWND, UINT, UINT_PTR, DWORD) { CheckHook(); }

// The thread does nothing but take hook events and watchdog ticks, so that
// nothing the window's thread does can hold up the desktop's keyboard.
DWORD WINAPI HookThread(LPVOID) {
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue the quit is posted to
    SetHook();
    NoteInputSeen();
    const UINT_PTR watchdog = SetTimer(nullptr, 0, kWatchdogMs, WatchdogTimer);
    SetEvent(hs.ready);
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    if (watchdog) KillTimer(nullptr, watchdog);
    if (hs.hook) g_clavtrapHookCalls.unhook(hs.hook);
    hs.hook = nullptr;
    return 0;
}

}  // namespace

BOOL ClavtrapInstall(HMODULE library, HWND window, UINT message) {
    ClavtrapRemove();
    hs.library = library;
    hs.window = window;
    hs.message = message;
    hs.ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!hs.ready) return FALSE;
    hs.thread = CreateThread(nullptr, 0, HookThread, nullptr, 0, &hs.threadId);
    if (!hs.thread) {
        CloseHandle(hs.ready);
        hs = HookState{};
        return FALSE;
    }
    // Keys wait on this thread while it runs its hook: let it run first.
    SetThreadPriority(hs.thread, THREAD_PRIORITY_HIGHEST);
    const HANDLE started[] = {hs.ready, hs.thread};
    WaitForMultipleObjects(2, started, FALSE, INFINITE);
    return hs.hook != nullptr;
}

void ClavtrapRemove() {
    if (hs.thread) {
        while (!PostThreadMessageA(hs.threadId, WM_QUIT, 0, 0) && WaitForSingleObject(hs.thread, 10) == WAIT_TIMEOUT) {
        }
        WaitForSingleObject(hs.thread, INFINITE);
        CloseHandle(hs.thread);
    }
    if (hs.ready) CloseHandle(hs.ready);
    hs = HookState{};
}

HHOOK ClavtrapHook() { return hs.hook; }
