#include "keyboard_hook.h"
#include "runeby_state.h"
#include "../common/dde_client.h"
#include "library_entry.h"

namespace {

typedef void(WINAPI *InstallHookProc)(HMODULE library, HWND window, UINT message);
typedef void(WINAPI *RemoveHookProc)();

// "%s をﾛｰﾄﾞできませんでした。\n終了します。" in code page 932.
constexpr char kCannotLoad[] =
    "%s \x82\xf0\xdb\xb0\xc4\xde\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42\n"
    "\x8f\x49\x97\xb9\x82\xb5\x82\xdc\x82\xb7\x81\x42";
// "正しい %s ではないようです。\n終了します。" in code page 932.
constexpr char kNotTheLibrary[] =
    "\x90\xb3\x82\xb5\x82\xa2 %s \x82\xc5\x82\xcd\x82\xc8\x82\xa2\x82\xe6\x82\xa4\x82\xc5\x82\xb7\x81\x42\n"
    "\x8f\x49\x97\xb9\x82\xb5\x82\xdc\x82\xb7\x81\x42";

void ShowHookMessage(HWND window, const char *format) {
    RunebyState *state = GetRunebyState(window);
    char text[256];
    wsprintfA(text, format, kHookLibrary);
    MessageBoxA(window, text, state ? state->title : "", MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

BOOL LoadKeyboardHook(HWND window) {
    RunebyState *state = GetRunebyState(window);
    if (!state) return FALSE;
    state->hookModule = LoadLibraryA(kHookLibrary);
    if (!state->hookModule) {
        ShowHookMessage(window, kCannotLoad);
        return FALSE;
    }
    InstallHookProc install = LibraryEntry<InstallHookProc>(state->hookModule, "InstallHook");
    state->hookMessage = RegisterWindowMessageA(kHookLibrary);
    if (!install) {
        ShowHookMessage(window, kNotTheLibrary);
        return FALSE;
    }
    install(state->hookModule, window, state->hookMessage);
    return TRUE;
}

void UnloadKeyboardHook(HWND window) {
    RunebyState *state = GetRunebyState(window);
    if (!state || !state->hookModule) return;
    if (RemoveHookProc remove = LibraryEntry<RemoveHookProc>(state->hookModule, "RemoveHook")) remove();
    FreeLibrary(state->hookModule);
    state->hookModule = nullptr;
}

LRESULT DispatchHookKey(HWND window, WPARAM wParam, LPARAM lParam) {
    RunebyState *state = GetRunebyState(window);
    if (!state || (static_cast<DWORD>(lParam) & 0x80000000u)) return 0;
    const WORD keyCode = LOWORD(wParam);
    const WORD modifiers = HIWORD(wParam);
    const RecordArray &bindings = state->activeBindings;
    for (int i = 0; i < bindings.count; ++i) {
        const KeyEntry *entry = KeyAt(bindings, i);
        if (entry->keyCode != keyCode || entry->modifiers != modifiers) continue;
        if (const char *text = CommandText(window, entry->command)) DdeClientExecute(window, text);
        break;
    }
    return 0;
}
