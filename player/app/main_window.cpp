#include "app/main_window.h"
#include "time_stretch.h"
#include "media/mci_backend.h"
#include "host_system.h"
#include "library_entry.h"
#include "text_blocks.h"
#include "window_place.h"
#include "app/player_state.h"
#include "app/displays.h"
#include "app/commands.h"
#include "app/tray.h"
#include "media/media_session.h"
#include "media/mp3_backend.h"
#include "dde/dde_server.h"
#include "files/file_select.h"
#include "files/paths.h"
#include "files/recent_files.h"
#include "files/settings.h"
#include "res/resource.h"
#include <mmsystem.h>
#include <objbase.h>
#include <shellapi.h>

HWND g_mainWindow = nullptr;

namespace {

HHOOK centreHook = nullptr;
int centreHolders = 0;  // the CentredDialogs alive
char suspendedFile[kPathSize];  // the file open at a power suspend

// appName and iniPath from the module's own (long) file name.
void DeriveProgramNames(PlayerState *state) {
    char buffer[kPathSize];
    char *lastDot;
    char *lastSlash;
    ModuleLongPath(state->hInstance, buffer, &lastDot, &lastSlash);
    // iniPath: the path without its extension, then ".ini".
    const int stem = static_cast<int>(lastDot - buffer);
    const int keep = stem > 0 && stem + 5 <= kPathSize ? stem : 0;
    if (keep) {
        lstrcpynA(state->iniPath, buffer, keep + 1);
        lstrcatA(state->iniPath, ".ini");
    }
    // appName: between the last '\' and the last '.'.
    char *nameStart = lastSlash + (*lastSlash == '\\' ? 1 : 0);
    int nameLength = lastDot > nameStart ? static_cast<int>(lastDot - nameStart) : lstrlenA(nameStart);
    lstrcpynA(state->appName, nameStart, nameLength + 1);
}

void AppendTraySystemItems(HWND window, PlayerState *state) {
    HMENU systemMenu = GetSystemMenu(window, FALSE);
    if (!systemMenu) return;
    AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
    char text[80];
    if (LoadStringA(state->hInstance, IDS_SYS_TOTRAY, text, sizeof text))
        AppendMenuA(systemMenu, MF_STRING, IDM_SYS_TOTRAY, text);
    if (LoadStringA(state->hInstance, IDS_SYS_ICON2TRAY, text, sizeof text))
        AppendMenuA(systemMenu, MF_STRING, IDM_SYS_ICON2TRAY, text);
}

LRESULT CALLBACK CentreDialogHookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0) {
        const CWPSTRUCT *message = reinterpret_cast<const CWPSTRUCT *>(lParam);
        if (message->message == WM_INITDIALOG) CentreWindow(message->hwnd);
    }
    return CallNextHookEx(centreHook, code, wParam, lParam);
}

// A close whose media teardown never returns (a sound driver that stopped
// answering before the player could tell) still ends the process: the
// settings are written by then.
constexpr DWORD kTeardownLimitMs = 5000;
HANDLE teardownDone;

DWORD WINAPI WatchTeardown(void *event) {
    if (WaitForSingleObject(event, kTeardownLimitMs) == WAIT_TIMEOUT) TerminateProcess(GetCurrentProcess(), 0);
    CloseHandle(event);
    return 0;
}

void WatchTheTeardown() {
    if (teardownDone) return;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE mine = nullptr;  // the watch keeps a handle of its own
    if (!event || !DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &mine, 0, FALSE,
                                   DUPLICATE_SAME_ACCESS)) {
        if (event) CloseHandle(event);
        return;
    }
    HANDLE watch = CreateThread(nullptr, 0, WatchTeardown, mine, 0, nullptr);
    if (!watch) {
        CloseHandle(mine);
        CloseHandle(event);
        return;
    }
    CloseHandle(watch);
    teardownDone = event;
}

void TeardownReturned() {
    if (!teardownDone) return;
    SetEvent(teardownDone);
    CloseHandle(teardownDone);
    teardownDone = nullptr;
}

void OnClose(HWND window) {
    // Inside an error box the caller of the box still works on the record:
    // the close comes when the box has gone.
    if (g_errorBoxShown) {
        g_closeAfterErrorBox = true;
        return;
    }
    PlayerState *state = GetPlayerState(window);
    if (state) {
        if (IsFileOpen(state->sessionState)) lstrcpynA(state->lastFile, state->currentFile, kPathSize);
        else state->lastFile[0] = '\0';
        state->topmost = (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0;
        SavePlayerSettings(window);
    }
    WatchTheTeardown();
    DestroyWindow(window);
    TeardownReturned();
}

// A suspend notes the file and position and closes the session; the resume
// opens the file again there.
void CloseForSuspend(HWND window, PlayerState *state) {
    if (IsFileOpen(state->sessionState)) {
        state->suspendPosition = MediaGetPosition(window);
        lstrcpynA(suspendedFile, state->currentFile, kPathSize);
    } else {
        state->suspendPosition = -1;
    }
    MediaClose(window);
}

void ReopenAfterSuspend(HWND window, PlayerState *state) {
    if (state->suspendPosition >= 0 && MediaOpen(window, suspendedFile)) MediaSeekTo(window, state->suspendPosition);
}

BOOL OnPower(HWND window, WPARAM event) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return FALSE;
    if (event == PWR_SUSPENDREQUEST) {
        CloseForSuspend(window, state);
        return TRUE;
    }
    if (event == PWR_SUSPENDRESUME) ReopenAfterSuspend(window, state);
    return FALSE;
}

// What 32- and 64-bit programs get instead of WM_POWER. A resume from a
// suspend comes as PBT_APMRESUMEAUTOMATIC, followed by PBT_APMRESUMESUSPEND
// when a user is there; either may come alone, and the file opens once: the
// noted position is spent by the first.
BOOL OnPowerBroadcast(HWND window, WPARAM event) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return FALSE;
    if (event == PBT_APMSUSPEND) {
        CloseForSuspend(window, state);
    } else if (event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND) {
        ReopenAfterSuspend(window, state);
        state->suspendPosition = -1;
    }
    return TRUE;
}

}  // namespace

CentredDialogs::CentredDialogs() {
    if (centreHolders++ == 0)
        centreHook = SetWindowsHookExA(WH_CALLWNDPROC, CentreDialogHookProc, nullptr, GetCurrentThreadId());
}

CentredDialogs::~CentredDialogs() {
    if (--centreHolders == 0 && centreHook) {
        UnhookWindowsHookEx(centreHook);
        centreHook = nullptr;
    }
}

void ActivateRunningInstance() {
    HWND found = FindWindowA(kWindowClass, nullptr);
    if (!found) return;
    HWND target = GetLastActivePopup(found);
    SetForegroundWindow(target);
    if (IsIconic(target)) ShowWindow(target, SW_SHOWNORMAL);
}

BOOL InitMainWindow(HWND window, HINSTANCE instance) {
    CentreWindow(window);
    PlayerState *state = static_cast<PlayerState *>(LocalAlloc(LPTR, sizeof(PlayerState)));
    if (!state) return FALSE;
    SetWindowLongPtrA(window, kStateSlot, reinterpret_cast<LONG_PTR>(state));
    g_mainWindow = window;
    for (int i = 0; i < kMainControlCount; ++i) state->controls[i] = GetDlgItem(window, IDC_POSITION_BAR + i);

    state->hInstance = instance;
    state->largeIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PLAYER));
    state->smallIcon = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_PLAYER), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    // The small icon first: given only the large one, the window would make
    // a small one from it, to be thrown away at once.
    SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(state->smallIcon));
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(state->largeIcon));
    state->accelTable = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCEL));
    state->refreshTimerId = reinterpret_cast<UINT_PTR>(window);
    state->showErrors = 1;
    state->zeroMark = 0;

    state->appName = AllocTextBlock(&state->appNameHandle);
    state->currentFile = AllocTextBlock(&state->currentFileHandle);
    state->lastFolder = AllocTextBlock(&state->lastFolderHandle);
    state->iniPath = AllocTextBlock(&state->iniPathHandle);
    state->lastFile = AllocTextBlock(&state->lastFileHandle);
    if (!state->appName || !state->currentFile || !state->lastFolder || !state->iniPath || !state->lastFile)
        return FALSE;  // WM_DESTROY releases what was taken
    state->scrollScale = 1;
    state->showHour = 1;
    state->suspendPosition = -1;  // no suspend noted
    state->speed = kSpeedNormal;
    state->shownSpeed = kSpeedNormal;

    state->pathLibrary = LoadSystemLibrary("shlwapi.dll");
    if (state->pathLibrary)
        state->pathSetDlgItemPath = reinterpret_cast<PathSetDlgItemPathProc>(
            reinterpret_cast<void *>(GetProcAddress(state->pathLibrary, "PathSetDlgItemPathA")));
    state->pathSetDlgItemPathW = LibraryEntry<PathSetDlgItemPathWProc>(state->pathLibrary, "PathSetDlgItemPathW");

    DeriveProgramNames(state);
    SetWindowTextA(window, state->appName);

    state->sessionState = StateClosed;
    state->mp3Available = BindDecoder(state);
    if (state->mp3Available) state->mp3Decoder.init();

    RecentFilesInit(&state->recentFiles);
    state->fileMenu = GetSubMenu(GetMenu(window), 0);

    TrayIconData &tray = state->trayIcon;
    tray.cbSize = sizeof(TrayIconData);
    tray.hWnd = window;
    tray.uID = 1;
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray.uCallbackMessage = WM_TRAYICON;
    tray.hIcon = state->smallIcon;
    state->trayMenu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_TRAYMENU));
    state->taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    AppendTraySystemItems(window, state);

    LoadPlayerSettings(window);
    if (state->topmost) PostMessageA(window, WM_COMMAND, IDM_TOPMOST, 0);

    SetTimeText(window, IDC_LENGTH, 0);
    SetTimeText(window, IDC_POSITION, 0);
    SetFileNameText(window, "");
    for (int id = IDC_MARK; id <= IDC_ZERO; ++id) EnableWindow(MainControl(window, id), FALSE);

    DdeServerStart(window);
    DragAcceptFiles(window, TRUE);
    SetTimer(window, state->refreshTimerId, 200, nullptr);
    return TRUE;
}

void TeardownMainWindow(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (state) {
        DdeServerStop(window);
        if (state->refreshTimerId) {
            KillTimer(window, state->refreshTimerId);
            state->refreshTimerId = 0;
        }
        MediaClose(window);
        RecentFilesRelease(&state->recentFiles);
        UnbindDecoder(state);
        if (state->pathLibrary) {
            state->pathSetDlgItemPath = nullptr;
            state->pathSetDlgItemPathW = nullptr;
            FreeLibrary(state->pathLibrary);
            state->pathLibrary = nullptr;
        }
        if (state->inTray) {
            Shell_NotifyIconA(NIM_DELETE, reinterpret_cast<PNOTIFYICONDATAA>(&state->trayIcon));
            state->inTray = 0;
        }
        if (state->trayMenu) {
            DestroyMenu(state->trayMenu);
            state->trayMenu = nullptr;
        }
        FreeTextBlock(&state->iniPathHandle, &state->iniPath);
        FreeTextBlock(&state->currentFileHandle, &state->currentFile);
        FreeTextBlock(&state->lastFolderHandle, &state->lastFolder);
        FreeTextBlock(&state->appNameHandle, &state->appName);
        FreeTextBlock(&state->lastFileHandle, &state->lastFile);
        SetWindowLongPtrA(window, kStateSlot, 0);
        LocalFree(state);
    }
    if (g_mainWindow == window) g_mainWindow = nullptr;
    PostQuitMessage(0);
}

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    PlayerState *state = GetPlayerState(window);
    switch (message) {
    case WM_INITDIALOG:
        InitMainWindow(window, reinterpret_cast<HINSTANCE>(lParam));
        return TRUE;
    case WM_DESTROY:
        TeardownMainWindow(window);
        return TRUE;
    case WM_SIZE:
        if (state) OnTraySize(window);
        return FALSE;
    case WM_PAINT:
        return state ? PaintIconic(window) : FALSE;
    case WM_CLOSE:
        OnClose(window);
        return TRUE;
    case WM_QUERYDRAGICON:
        return state ? reinterpret_cast<INT_PTR>(state->largeIcon) : 0;
    case WM_POWER:
        return OnPower(window, wParam);
    case WM_POWERBROADCAST:
        return OnPowerBroadcast(window, wParam);
    case WM_COMMAND:
        return state ? OnMainCommand(window, HIWORD(wParam), LOWORD(wParam), lParam) : FALSE;
    case WM_SYSCOMMAND:
        return state ? OnTraySystemCommand(window, wParam) : FALSE;
    case WM_TIMER:
        return state ? OnRefreshTimer(window, wParam) : FALSE;
    case WM_HSCROLL:
        return state ? OnPositionBar(window, LOWORD(wParam), static_cast<short>(HIWORD(wParam)),
                                     reinterpret_cast<HWND>(lParam))
                     : FALSE;
    case WM_INITMENUPOPUP:
        if (state) UpdateMenuStates(window, reinterpret_cast<HMENU>(wParam), LOWORD(lParam), HIWORD(lParam));
        return TRUE;
    case WM_DROPFILES:
        if (state) OnDropFiles(window, reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case WM_DEFERREDERROR:
        if (state) ShowDeferredErrorBox(window);
        return TRUE;
    case MM_MCINOTIFY:
        return state ? MediaOnNotify(window, wParam, lParam) : FALSE;
    case WM_TRAYICON:
        if (state) OnTrayNotify(window, static_cast<UINT>(wParam), static_cast<UINT>(lParam));
        return FALSE;
    default:
        if (state && message == state->taskbarCreatedMessage && message) OnTaskbarCreated(window);
        return FALSE;
    }
}

BOOL RegisterPlayerClass(HINSTANCE instance) {
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = DefDlgProcA;
    wc.cbWndExtra = kMainWindowExtra;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PLAYER));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
    wc.lpszClassName = kWindowClass;
    return RegisterClassA(&wc) != 0;
}

HWND CreateMainWindow(HINSTANCE instance) {
    return CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc,
                              reinterpret_cast<LPARAM>(instance));
}

int RunPlayer(HINSTANCE instance, HINSTANCE previous, const char *commandTail, int showCommand) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, kMutexName);
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) {
        if (mutex) CloseHandle(mutex);
        MessageBeep(0xFFFFFFFF);
        ActivateRunningInstance();
        return 0;
    }
    if (!previous && !RegisterPlayerClass(instance)) {
        CloseHandle(mutex);
        return 0;
    }
    HWND window = CreateMainWindow(instance);
    if (!window) {
        CloseHandle(mutex);
        return 0;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    PlayerState *state = GetPlayerState(window);
    char commandAlias[kPathSize];  // the tail's short alias, where it needs one
    if (state) {
        if (commandTail && *commandTail) state->pendingCommandFile = CommandLineFileName(commandTail, commandAlias);
        if (state->pendingCommandFile || !state->restoreLastFile) state->lastFile[0] = '\0';
    }
    CoInitialize(nullptr);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        PlayerState *live = GetPlayerState(window);
        if (live && TranslateAcceleratorA(window, live->accelTable, &msg)) continue;
        if (live && IsDialogMessageA(window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    CoUninitialize();
    CloseHandle(mutex);
    // A device left to a driver that no longer answers would hold the
    // libraries' teardown at exit. The settings are written.
    if (g_mciDeviceLeft) TerminateProcess(GetCurrentProcess(), static_cast<UINT>(msg.wParam));
    return static_cast<int>(msg.wParam);
}
