#include "mapper_shell.h"
#include "text_blocks.h"
#include "window_place.h"
#include "mapper_ids.h"
#include "mapper_settings.h"
#include "mapper_tray.h"
#include "dde_client.h"
#include "host_system.h"
#include "library_entry.h"
#include <commctrl.h>
#include <shellapi.h>

const MapperProgram *g_mapperProgram = nullptr;
HWND g_mapperWindow = nullptr;
UINT_PTR(WINAPI *g_setTimer)(HWND, UINT_PTR, UINT, TIMERPROC) = SetTimer;

namespace {

// The tool record in its form without lpReserved: 44 bytes in the 32-bit build.
constexpr UINT kToolInfoSize = offsetof(TOOLINFOA, lParam) + sizeof(LPARAM);
#ifndef _WIN64
static_assert(kToolInfoSize == 44, "tool record, 44-byte form");
#endif

// The settings path (the executable's path with ".ini" for its extension) and
// the title (its base name), from the long form of the module's own name.
void DeriveSettingsPathAndTitle(MapperState *state) {
    char path[kTextSize];
    char *lastDot;
    char *lastSlash;
    ModuleLongPath(state->instance, path, &lastDot, &lastSlash);
    char *name = lastSlash + (*lastSlash == '\\');
    // A name without an extension keeps its whole self; ".ini" is added to it.
    char *end = lastDot > name ? lastDot : name + lstrlenA(name);
    const int stem = static_cast<int>(end - path);
    if (stem + 5 <= kTextSize) {
        lstrcpynA(state->iniPath, path, stem + 1);
        lstrcatA(state->iniPath, ".ini");
    }
    lstrcpynA(state->title, name, static_cast<int>(end - name) + 1);
}

// The common controls' library serves only the tooltips, so it is loaded with
// them, once the window is up; kept for the life of the process.
void InitCommonControlsLibrary() {
    static HMODULE library = nullptr;
    if (library) return;
    library = LoadSystemLibrary("comctl32.dll");
    if (auto init = LibraryEntry<void(WINAPI *)()>(library, "InitCommonControls")) init();
}

void CreateTooltips(HWND window, MapperState *state) {
    InitCommonControlsLibrary();
    state->tooltip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                                     state->instance, nullptr);
    if (!state->tooltip) return;
    for (int i = 0; i < g_mapperProgram->tooltipCount; ++i) {
        const MapperTooltip &row = g_mapperProgram->tooltips[i];
        HWND control = GetDlgItem(window, row.controlId);
        TOOLINFOA tool = {};
        tool.cbSize = kToolInfoSize;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window;
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.hinst = state->instance;
        tool.lpszText = MAKEINTRESOURCEA(row.stringId);
        SendMessageA(state->tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
        if (!g_mapperProgram->tooltipRectangles) continue;
        // The same tip over the control's rectangle of the main window, for
        // controls that take no mouse input themselves.
        tool.uFlags = TTF_SUBCLASS;
        GetWindowRect(control, &tool.rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT *>(&tool.rect), 2);
        SendMessageA(state->tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }
    SendMessageA(state->tooltip, TTM_ACTIVATE, TRUE, 0);
}

void AppendSystemMenuItems(HWND window, MapperState *state) {
    HMENU systemMenu = GetSystemMenu(window, FALSE);
    if (!systemMenu) return;
    AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
    char text[80];
    if (LoadStringA(state->instance, g_mapperProgram->toTrayStringId, text, sizeof text))
        AppendMenuA(systemMenu, MF_STRING, IDM_SYS_TOTRAY, text);
    if (LoadStringA(state->instance, g_mapperProgram->iconToTrayStringId, text, sizeof text))
        AppendMenuA(systemMenu, MF_STRING, IDM_SYS_ICON2TRAY, text);
}

void OnMapperClose(HWND window) {
    WriteIconToTray(window);
    DestroyWindow(window);
}

BOOL OnFrameCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDM_TRAY_RESTORE:
        RestoreFromTray(window);
        return TRUE;
    case IDM_TRAY_EXIT:
        PostMessageA(window, WM_CLOSE, 0, 0);
        return FALSE;
    case IDC_SAVE:
        g_mapperProgram->save(window);
        return FALSE;
    case IDC_APPLY:
        g_mapperProgram->applyMapping(window);
        return FALSE;
    case IDC_CLOSE:
        PostMessageA(window, WM_CLOSE, 0, 0);
        return TRUE;
    default:
        return g_mapperProgram->onCommand
                   ? g_mapperProgram->onCommand(window, HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam))
                   : FALSE;
    }
}

BOOL OnFrameSystemCommand(HWND window, WPARAM command) {
    switch (command & 0xFFF0) {
    case IDM_SYS_TOTRAY:
        SendToTray(window);
        return TRUE;
    case IDM_SYS_ICON2TRAY:
        ToggleIconToTray(window);
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL OnFrameTimer(HWND window, MapperState *state, UINT_PTR id) {
    if (id && id == state->trayTimer) {
        if (state->inTray) RefreshTrayIcon(window);
        return TRUE;
    }
    return g_mapperProgram->onTimer ? g_mapperProgram->onTimer(window, id) : FALSE;
}

}  // namespace

BOOL InitMapperWindow(HWND window, HINSTANCE instance) {
    const MapperProgram *program = g_mapperProgram;
    MapperState *state = static_cast<MapperState *>(LocalAlloc(LMEM_ZEROINIT, program->stateSize));
    if (!state) return TRUE;  // every handler skips its work without a record
    SetWindowLongPtrA(window, kStateSlot, reinterpret_cast<LONG_PTR>(state));
    g_mapperWindow = window;
    state->instance = instance;

    state->largeIcon = LoadIconA(instance, MAKEINTRESOURCEA(program->iconId));
    state->smallIcon = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(program->iconId), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    // The small icon first: given only the large one, the window would make
    // a small one from it, to be thrown away at once.
    SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(state->smallIcon));
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(state->largeIcon));

    state->title = AllocTextBlock(&state->titleHandle);
    state->iniPath = AllocTextBlock(&state->iniPathHandle);
    if (!state->title || !state->iniPath) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        return TRUE;  // WM_DESTROY releases what was taken
    }
    DeriveSettingsPathAndTitle(state);
    SetWindowTextA(window, state->title);

    if (program->setUp) program->setUp(window);
    // The tooltips serve only a pointer resting on a control; made after the
    // first paint, they do not delay the window.
    PostMessageA(window, WM_MAPPER_TOOLTIPS, 0, 0);
    DdeClientConnect(window);
    if (program->connected) program->connected(window);

    TrayIconData &tray = state->trayIcon;
    tray = TrayIconData{};
    tray.cbSize = sizeof(TrayIconData);
    tray.hWnd = window;
    tray.uID = program->trayIconId;
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray.uCallbackMessage = program->trayMessage;
    tray.hIcon = state->smallIcon;
    state->inTray = 0;
    state->trayTimer = 0;
    state->trayMenu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_TRAYMENU));
    state->taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    AppendSystemMenuItems(window, state);

    if (program->applyMapping) program->applyMapping(window);
    CentreWindow(window);
    return TRUE;
}

BOOL DestroyMapperWindow(HWND window) {
    MapperState *state = GetMapperState(window);
    if (state) {
        DdeClientDisconnect(window);
        if (g_mapperProgram->stop) g_mapperProgram->stop(window);
        FreeTextBlock(&state->titleHandle, &state->title);
        FreeTextBlock(&state->iniPathHandle, &state->iniPath);
        FreeCommandList(window);
        if (g_mapperProgram->freeLists) g_mapperProgram->freeLists(window);
        if (state->tooltip && IsWindow(state->tooltip)) DestroyWindow(state->tooltip);
        state->tooltip = nullptr;
        if (state->inTray) TrayNotify(state, NIM_DELETE);
        state->inTray = 0;
        if (state->trayTimer) KillTimer(window, state->trayTimer);
        state->trayTimer = 0;
        if (state->trayMenu) DestroyMenu(state->trayMenu);
        state->trayMenu = nullptr;
        SetWindowLongPtrA(window, kStateSlot, 0);
        LocalFree(state);
    }
    if (g_mapperWindow == window) g_mapperWindow = nullptr;
    PostQuitMessage(0);
    return TRUE;
}

INT_PTR CALLBACK MapperDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MapperState *state = GetMapperState(window);
    switch (message) {
    case WM_INITDIALOG:
        return InitMapperWindow(window, reinterpret_cast<HINSTANCE>(lParam));
    case WM_DESTROY:
        return DestroyMapperWindow(window);
    case WM_CLOSE:
        if (state) OnMapperClose(window);
        else DestroyWindow(window);
        return TRUE;
    case WM_SIZE:
        OnMapperSize(window);
        return FALSE;
    case WM_PAINT:
        return PaintMapperIcon(window);
    case WM_QUERYDRAGICON:
        return state ? reinterpret_cast<INT_PTR>(state->largeIcon) : 0;
    case WM_COMMAND:
        return state ? OnFrameCommand(window, wParam, lParam) : FALSE;
    case WM_SYSCOMMAND:
        return state ? OnFrameSystemCommand(window, wParam) : FALSE;
    case WM_TIMER:
        return state ? OnFrameTimer(window, state, wParam) : FALSE;
    case WM_MAPPER_TOOLTIPS:
        if (state && !state->tooltip) CreateTooltips(window, state);
        return TRUE;
    case WM_INITMENUPOPUP:
        PrepareMapperMenu(window, reinterpret_cast<HMENU>(wParam), HIWORD(lParam) != 0);
        return TRUE;
    default:
        if (!state) return FALSE;
        if (message == g_mapperProgram->trayMessage) {
            OnMapperTrayIcon(window, static_cast<UINT>(wParam), static_cast<UINT>(lParam));
        } else if (message == state->taskbarCreatedMessage && message) {
            if (state->inTray) RefreshTrayIcon(window);
        } else if (g_mapperProgram->onMessage) {
            g_mapperProgram->onMessage(window, message, wParam, lParam);
        }
        return FALSE;
    }
}

void ActivateRunningInstance() {
    HWND found = FindWindowA(g_mapperProgram->className, nullptr);
    if (!found) return;
    HWND target = GetLastActivePopup(found);
    SetForegroundWindow(target);
    if (IsIconic(target)) ShowWindow(target, SW_SHOWNORMAL);
}

BOOL RegisterMapperClass(const MapperProgram *program, HINSTANCE instance) {
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = DefDlgProcA;
    wc.cbWndExtra = kMapperWindowExtra;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(program->iconId));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = program->className;
    return RegisterClassA(&wc) != 0;
}

HWND CreateMapperWindow(const MapperProgram *program, HINSTANCE instance) {
    g_mapperProgram = program;
    return CreateDialogParamA(instance, MAKEINTRESOURCEA(program->dialogId), nullptr, MapperDialogProc,
                              reinterpret_cast<LPARAM>(instance));
}

int MapperMain(const MapperProgram *program, HINSTANCE instance, HINSTANCE previous, int showCommand) {
    g_mapperProgram = program;
    HANDLE mutex = CreateMutexA(nullptr, FALSE, program->word);
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) {
        if (mutex) CloseHandle(mutex);
        MessageBeep(0xFFFFFFFF);
        ActivateRunningInstance();
        return 0;
    }
    HWND window = nullptr;
    if (previous || RegisterMapperClass(program, instance)) window = CreateMapperWindow(program, instance);
    if (!window) {
        CloseHandle(mutex);
        return 0;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    MSG msg = {};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    CloseHandle(mutex);
    return static_cast<int>(msg.wParam);
}
