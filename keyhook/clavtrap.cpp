#include "clavtrap.h"

namespace {

struct HookState {
    HMODULE library;
    HWND window;
    UINT message;
    HHOOK hook;
    UINT_PTR watchdog;
    DWORD heldModifiers;   // bit per modifier key (below), from the hook's own events
    DWORD lastSeenInput;   // GetLastInputInfo at the watchdog's last look
    DWORD eventsSeen;      // hook events so far
    DWORD eventsAtLook;    // ... at the watchdog's last look
};
HookState hs;

// The modifier keys a low-level hook may be given (the sided codes, and the
// plain ones that injected input can carry), and the flag each adds.
constexpr struct {
    DWORD vk;
    WORD flag;
} kModifierKeys[] = {
    {VK_LSHIFT, kModShift}, {VK_RSHIFT, kModShift}, {VK_SHIFT, kModShift},
    {VK_LCONTROL, kModCtrl}, {VK_RCONTROL, kModCtrl}, {VK_CONTROL, kModCtrl},
    {VK_LMENU, kModAlt},     {VK_RMENU, kModAlt},     {VK_MENU, kModAlt},
};
constexpr int kModifierKeyCount = sizeof kModifierKeys / sizeof *kModifierKeys;

int ModifierKeyIndex(DWORD vk) {
    for (int i = 0; i < kModifierKeyCount; ++i)
        if (kModifierKeys[i].vk == vk) return i;
    return -1;
}

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const KBDLLHOOKSTRUCT *key = reinterpret_cast<const KBDLLHOOKSTRUCT *>(lParam);
        const bool release = (key->flags & LLKHF_UP) != 0;
        ++hs.eventsSeen;
        const int modifier = ModifierKeyIndex(key->vkCode);
        if (modifier >= 0) {
            if (release) hs.heldModifiers &= ~(1u << modifier);
            else hs.heldModifiers |= 1u << modifier;
        }
        const WPARAM notice = MAKEWPARAM(static_cast<WORD>(key->vkCode), ClavtrapModifiers(key->vkCode));
        PostMessageA(hs.window, hs.message, notice, release ? static_cast<LPARAM>(0x80000000u) : 0);
    }
    (void)wParam;
    return CallNextHookEx(hs.hook, code, wParam, lParam);
}

BOOL SetHook() {
    hs.hook = SetWindowsHookExA(WH_KEYBOARD_LL, KeyboardHookProc, hs.library, 0);
    return hs.hook != nullptr;
}

VOID CALLBACK WatchdogTimer(HWND, UINT, UINT_PTR, DWORD) { ClavtrapCheckHook(); }

}  // namespace

WORD ClavtrapModifiers(DWORD eventKey) {
    // A modifier counts while the hook saw it go down and the system still
    // holds it down: a release the hook missed (a modal loop elsewhere, a
    // locked desktop, a dropped hook) cannot leave it held. The key of the
    // event under way is not yet in the system's state.
    WORD flags = 0;
    for (int i = 0; i < kModifierKeyCount; ++i) {
        if (!(hs.heldModifiers & (1u << i))) continue;
        if (kModifierKeys[i].vk != eventKey && !(GetAsyncKeyState(static_cast<int>(kModifierKeys[i].vk)) & 0x8000)) {
            hs.heldModifiers &= ~(1u << i);
            continue;
        }
        flags |= kModifierKeys[i].flag;
    }
    return flags;
}

BOOL ClavtrapInstall(HMODULE library, HWND window, UINT message) {
    ClavtrapRemove();
    hs.library = library;
    hs.window = window;
    hs.message = message;
    hs.heldModifiers = 0;
    if (!SetHook()) return FALSE;
    LASTINPUTINFO input = {sizeof input, 0};
    GetLastInputInfo(&input);
    hs.lastSeenInput = input.dwTime;
    hs.eventsAtLook = hs.eventsSeen;
    hs.watchdog = SetTimer(nullptr, 0, kWatchdogMs, WatchdogTimer);
    return TRUE;
}

void ClavtrapRemove() {
    if (hs.watchdog) KillTimer(nullptr, hs.watchdog);
    if (hs.hook) UnhookWindowsHookEx(hs.hook);
    hs = HookState{};
}

HHOOK ClavtrapHook() { return hs.hook; }

void ClavtrapCheckHook() {
    if (!hs.window) return;
    LASTINPUTINFO input = {sizeof input, 0};
    if (!GetLastInputInfo(&input)) return;
    const bool inputCame = input.dwTime != hs.lastSeenInput;
    const bool hookSawNothing = hs.eventsSeen == hs.eventsAtLook;
    hs.lastSeenInput = input.dwTime;
    hs.eventsAtLook = hs.eventsSeen;
    if (!inputCame || !hookSawNothing) return;
    // Input reached the system and the hook saw none of it: the hook may have
    // been dropped (a procedure over the system's time-out). Put it back on
    // top; when it was only mouse input, this costs one unhook and hook.
    if (hs.hook) UnhookWindowsHookEx(hs.hook);
    SetHook();
}
