#include "runeby_program.h"
#include "key_commands.h"
#include "key_lists.h"
#include "key_settings.h"
#include "keyboard_hook.h"
#include "res/resource.h"
#include "../common/dde_client.h"

namespace {

constexpr MapperTooltip kTooltips[] = {
    {IDC_KEYLIST, IDS_TIP_KEYLIST}, {IDC_COMMANDLIST, IDS_TIP_COMMANDLIST},
    {IDC_SHIFT, IDS_TIP_SHIFT},     {IDC_CTRL, IDS_TIP_CTRL},
    {IDC_ALT, IDS_TIP_ALT},         {IDC_APPLY, IDS_TIP_APPLY},
    {IDC_CLEAR, IDS_TIP_CLEAR},     {IDC_SAVE, IDS_TIP_SAVE},
    {IDC_CLOSE, IDS_TIP_CLOSE},
};

void SetUp(HWND window) {
    RunebyState *state = GetRunebyState(window);
    state->modifierIndex = 0;
    BuildKeyLists(window);
    LoadMapperSettings(window);
    FillCommandListBox(window, IDC_COMMANDLIST);
    RecordArrayInit(&state->activeBindings, sizeof(KeyEntry));
    FillKeyList(window);
}

void Connected(HWND window) {
    RunebyState *state = GetRunebyState(window);
    state->hookModule = nullptr;
    state->hookMessage = 0;
    if (!LoadKeyboardHook(window)) PostMessageA(window, WM_CLOSE, 0, 0);
}

BOOL OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    RunebyState *state = GetRunebyState(window);
    if (!state || !state->hookMessage || message != state->hookMessage) return FALSE;
    DispatchHookKey(window, wParam, lParam);
    return FALSE;
}

}  // namespace

const MapperProgram kRunebyProgram = {
    "Runeby",
    "RunebyWndClass",
    IDD_RUNEBY,
    IDI_RUNEBY,
    1,        // tray icon
    0x801C,   // tray callback message
    0,        // tray timer: the window handle's value
    IDS_SYS_TOTRAY,
    IDS_SYS_ICON2TRAY,
    kTooltips,
    static_cast<int>(sizeof kTooltips / sizeof *kTooltips),
    FALSE,
    sizeof(RunebyState),
    SetUp,
    Connected,
    ApplyBindings,
    SaveBindings,
    OnMapperCommand,
    nullptr,
    OnMessage,
    UnloadKeyboardHook,
    FreeKeyLists,
};
