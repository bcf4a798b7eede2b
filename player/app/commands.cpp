#include "app/commands.h"
#include "app/player_state.h"
#include "app/displays.h"
#include "app/main_window.h"
#include "app/tray.h"
#include "media/media_session.h"
#include "files/file_select.h"
#include "files/paths.h"
#include "files/recent_files.h"
#include "dialogs/record_format.h"
#include "dialogs/version_box.h"
#include "res/resource.h"
#include "time_stretch.h"
#include <mmsystem.h>

namespace {

constexpr int kMaxThumb = 32767;

void ShowMissingFileMessage(HWND window, PlayerState *state, const char *name) {
    char format[kPathSize] = "";
    char text[2 * kPathSize];
    LoadStringA(state->hInstance, IDS_LASTFILE_MISSING, format, sizeof format);
    wsprintfA(text, format, name);
    CentredDialogs centred;
    MessageBoxA(window, text, state->appName, MB_ICONHAND);
}

// After a successful open through the user interface: recent list and folder.
void RememberOpened(PlayerState *state, const char *name) {
    RecentFilesAdd(&state->recentFiles, name, state->fileMenu);
    RememberFolder(state, name);
}

void OpenRecentFile(HWND window, PlayerState *state, int index) {
    char name[kPathSize];
    lstrcpynA(name, RecentFilesEntry(&state->recentFiles, index), sizeof name);
    ResolvePath(name);
    if (MediaOpen(window, name)) RememberOpened(state, name);
}

void ToggleTopmost(HWND window) {
    const bool topmost = (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    SetWindowPos(window, topmost ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void NewRecording(HWND window, PlayerState *state) {
    CentredDialogs centred;
    INT_PTR result = DialogBoxParamA(state->hInstance, MAKEINTRESOURCEA(IDD_RECORDFORMAT), window,
                                     RecordFormatDialogProc, reinterpret_cast<LPARAM>(&state->recordFormat));
    if (result == IDOK) {
        const RecordFormat &f = state->recordFormat;
        MediaOpenForRecord(window, static_cast<int>(f.samplesPerSec), f.bitsPerSample, f.channels);
    }
}

// The file waiting since start-up: the command-line name, else the last file.
void TakeStartupFile(HWND window, PlayerState *state) {
    char name[kPathSize];
    if (state->pendingCommandFile) {
        const char *tail = state->pendingCommandFile;
        state->pendingCommandFile = nullptr;
        if (lstrlenA(tail) >= kPathSize) {
            // Too long for any of the player's name buffers.
            MediaReportError(window, MCIERR_FILE_NOT_FOUND);
            return;
        }
        lstrcpynA(name, tail, sizeof name);
        ResolvePath(name);
        const DWORD attributes = GetFileAttributesA(name);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ChooseFile(window, 1, name);
        } else if (MediaOpen(window, name)) {
            RememberOpened(state, name);
        }
        return;
    }
    if (!state->lastFile[0]) return;
    lstrcpynA(name, state->lastFile, sizeof name);
    state->lastFile[0] = '\0';
    if (GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES) {
        ShowMissingFileMessage(window, state, name);
    } else if (MediaOpen(window, name)) {
        RememberOpened(state, name);
        MediaSeekTo(window, state->lastFilePos);
        state->zeroMark = state->lastFileOffset;
    }
}

}  // namespace

namespace {
struct SpeedItem {
    UINT id;
    int percent;
};
constexpr SpeedItem kSpeedItems[] = {{IDM_SPEED_50, 50},   {IDM_SPEED_75, 75},   {IDM_SPEED_100, 100},
                                     {IDM_SPEED_125, 125}, {IDM_SPEED_150, 150}, {IDM_SPEED_200, 200}};
constexpr int kSpeedMenuStep = 5;
}  // namespace

BOOL OnMainCommand(HWND window, UINT, UINT commandId, LPARAM) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return FALSE;
    const int s = state->sessionState;
    switch (commandId) {
    case IDC_PLAY:
    case IDM_PLAY:
        if (CanPlay(s)) MediaPlay(window);
        break;
    case IDC_STOP:
    case IDM_STOP:
        if (s == StatePlaying) MediaPause(window);
        else if (s == StateRecording) MediaStopRecord(window);
        break;
    case IDC_TOP:
    case IDM_TOP:
        if (IsFileOpen(s)) MediaTop(window);
        break;
    case IDC_LAST:
    case IDM_LAST:
        if (IsFileOpen(s)) MediaLast(window);
        break;
    case IDM_RECORD:
        if (s == StateRecordReady) MediaRecord(window);
        break;
    case IDM_TOPMOST:
        ToggleTopmost(window);
        break;
    case IDM_SHOWERROR:
        state->showErrors = 1 - state->showErrors;
        break;
    case IDM_SHOWHOUR:
        state->showHour = 1 - state->showHour;
        if (s != StateClosed) {
            SetTimeText(window, IDC_LENGTH, MediaGetLength(window));
            SetTimeText(window, IDC_POSITION, MediaGetPosition(window) - state->zeroMark);
        } else {
            SetTimeText(window, IDC_LENGTH, 0);
            SetTimeText(window, IDC_POSITION, 0);
        }
        break;
    case IDM_VERSION:
        ShowVersionBox(window);
        break;
    case IDM_REPEATALL:
        state->repeatAll = 1 - state->repeatAll;
        break;
    case IDM_RESTOREPOSITION:
        state->restorePosition = 1 - state->restorePosition;
        break;
    case IDM_RESTORELASTFILE:
        state->restoreLastFile = 1 - state->restoreLastFile;
        break;
    case IDM_TRAY_RESTORE:
        RestoreFromTray(window);
        break;
    case IDM_NEW:
        NewRecording(window, state);
        break;
    case IDM_OPEN:
        ChooseFile(window, 1, nullptr);
        break;
    case IDM_SAVEAS:
        if (s == StateRecorded) ChooseFile(window, 0, nullptr);
        break;
    case IDM_EXIT:
        PostMessageA(window, WM_CLOSE, 0, 0);
        break;
    case IDM_SPEED_FASTER:
        MediaSetSpeed(window, MediaGetSpeed(window) + kSpeedMenuStep);
        break;
    case IDM_SPEED_SLOWER:
        MediaSetSpeed(window, MediaGetSpeed(window) - kSpeedMenuStep);
        break;
    case IDM_SPEED_NORMAL:
        MediaSetSpeed(window, kSpeedNormal);
        break;
    default:
        for (const SpeedItem &item : kSpeedItems)
            if (commandId == item.id) MediaSetSpeed(window, item.percent);
        if (commandId >= IDM_MRU_FIRST && commandId <= IDM_MRU_LAST)
            OpenRecentFile(window, state, static_cast<int>(commandId - IDM_MRU_FIRST));
        break;
    }
    return TRUE;
}

static void RefreshTick(HWND window, PlayerState *state);


BOOL OnRefreshTimer(HWND window, WPARAM timerId) {
    PlayerState *state = GetPlayerState(window);
    if (!state || !state->refreshTimerId || timerId != state->refreshTimerId) return FALSE;
    // A tick does not run again inside a box that the tick itself opened.
    static bool ticking = false;
    if (ticking) return TRUE;
    ticking = true;
    RefreshTick(window, state);
    ticking = false;
    return TRUE;
}

static void RefreshTick(HWND window, PlayerState *state) {
    TakeStartupFile(window, state);

    const int position = state->sessionState != StateClosed ? MediaGetPosition(window) : 0;
    if (state->sessionState != StateClosed) MediaWatchProgress(window, position);  // may end the session
    if (state->sessionState != StateClosed) {
        SetTimeText(window, IDC_POSITION, position - state->zeroMark);
        int thumb = position / state->scrollScale;
        if (thumb > kMaxThumb) thumb = kMaxThumb;
        if (thumb != GetBarPosition(window)) SetBarPosition(window, thumb);
        if (IsFileOpen(state->sessionState) && state->repeatStart < state->repeatEnd &&
            position >= state->repeatEnd) {
            const int start = state->repeatStart;
            const int end = state->repeatEnd;
            MediaSeekTo(window, start);
            if (state->sessionState != StatePlaying) MediaPlay(window);
            state->repeatEnd = end;
            state->repeatStart = start;
        }
    }
    if (state->repeatAll && state->sessionState == StateOpened) {
        MediaTop(window);
        MediaPlay(window);
    }
    const int s = state->sessionState;
    EnableButton(window, IDC_PLAY, CanPlay(s));
    EnableButton(window, IDC_STOP, CanStop(s));
    EnableButton(window, IDC_TOP, IsFileOpen(s));
    EnableButton(window, IDC_LAST, IsFileOpen(s));
    ShowSpeed(window, MediaGetSpeed(window));
    if (state->inTray) RefreshTrayTip(window);
}

BOOL OnPositionBar(HWND window, UINT scrollCode, int thumbPosition, HWND control) {
    if (control != MainControl(window, IDC_POSITION_BAR)) return FALSE;
    PlayerState *state = GetPlayerState(window);
    if (!state || !IsFileOpen(state->sessionState)) return TRUE;
    if (scrollCode == SB_ENDSCROLL) return TRUE;
    const int position = MediaGetPosition(window);
    const int length = MediaGetLength(window);
    int target;
    switch (scrollCode) {
    case SB_LINELEFT: target = position - 1000; break;
    case SB_LINERIGHT: target = position + 1000; break;
    case SB_PAGELEFT: target = position - length / 10; break;
    case SB_PAGERIGHT: target = position + length / 10; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: target = thumbPosition * state->scrollScale; break;
    case SB_LEFT: target = 0; break;
    case SB_RIGHT: target = length; break;
    default: target = position; break;
    }
    if (target < 0) target = 0;
    if (state->sessionState == StatePlaying) MediaPause(window);
    MediaSeekTo(window, target);
    return TRUE;
}

BOOL UpdateMenuStates(HWND window, HMENU menu, UINT, BOOL isSystemMenu) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return TRUE;
    if (isSystemMenu) {
        RemoveMenu(menu, SC_SIZE, MF_BYCOMMAND);
        RemoveMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
        UpdateRestoreMinimise(window, menu);
        CheckMenuItem(menu, IDM_SYS_ICON2TRAY, MF_BYCOMMAND | (state->iconToTray ? MF_CHECKED : MF_UNCHECKED));
        return TRUE;
    }
    auto check = [menu](UINT id, bool on) { CheckMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED)); };
    auto enable = [menu](UINT id, bool on) { EnableMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED)); };
    const int s = state->sessionState;
    check(IDM_TOPMOST, (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0);
    check(IDM_SHOWERROR, state->showErrors != 0);
    check(IDM_SHOWHOUR, state->showHour != 0);
    check(IDM_REPEATALL, state->repeatAll != 0);
    check(IDM_RESTOREPOSITION, state->restorePosition != 0);
    check(IDM_RESTORELASTFILE, state->restoreLastFile != 0);
    enable(IDM_REPEATALL, !IsRecordingOpen(s));
    enable(IDM_PLAY, CanPlay(s));
    enable(IDM_STOP, CanStop(s));
    enable(IDM_TOP, IsFileOpen(s));
    enable(IDM_LAST, IsFileOpen(s));
    enable(IDM_RECORD, s == StateRecordReady);
    enable(IDM_SAVEAS, s == StateRecorded);
    const bool speedCanChange = MediaSpeedCanChange(window);
    const int speed = MediaGetSpeed(window);
    for (const SpeedItem &item : kSpeedItems) {
        check(item.id, speed == item.percent);
        enable(item.id, speedCanChange);
    }
    enable(IDM_SPEED_FASTER, speedCanChange && speed < kSpeedFastest);
    enable(IDM_SPEED_SLOWER, speedCanChange && speed > kSpeedSlowest);
    enable(IDM_SPEED_NORMAL, speedCanChange && speed != kSpeedNormal);
    if (state->inTray) MakeDefaultItem(menu, IDM_TRAY_RESTORE);
    return TRUE;
}

BOOL PaintIconic(HWND window) {
    PlayerState *state = GetPlayerState(window);
    return state ? PaintMinimisedIcon(window, state->largeIcon) : FALSE;
}
