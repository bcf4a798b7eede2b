#include "app/displays.h"
#include "app/player_state.h"
#include "files/paths.h"
#include "res/resource.h"
#include "time_stretch.h"

HWND MainControl(HWND window, int controlId) {
    PlayerState *state = GetPlayerState(window);
    const int index = controlId - IDC_POSITION_BAR;
    if (state && index >= 0 && index < kMainControlCount && state->controls[index]) return state->controls[index];
    return GetDlgItem(window, controlId);
}

// Writes t (ms) as " 00:00:00.00" (hours shown) or " 00000:00", with '-' for
// negative times so the text keeps its width.
void FormatDisplayTime(char *out, int showHour, int t) {
    const bool negative = t < 0;
    const unsigned long a = negative ? 0ul - static_cast<unsigned long>(t) : static_cast<unsigned long>(t);
    if (showHour) {
        wsprintfA(out, negative ? "-%02lu:%02lu:%02lu.%02lu" : " %02lu:%02lu:%02lu.%02lu",
                  a / 1000 / 3600, a / 1000 / 60 % 60, a / 1000 % 60, (a % 1000) / 10);
    } else {
        wsprintfA(out, negative ? "-%05lu:%02lu" : " %05lu:%02lu", a / 1000, (a % 1000) / 10);
    }
}

void SetTimeText(HWND window, int controlId, int t) {
    HWND control = MainControl(window, controlId);
    PlayerState *state = GetPlayerState(window);
    if (!control || !state || (controlId != IDC_LENGTH && controlId != IDC_POSITION)) return;
    char text[sizeof state->shownTimes[0]];
    FormatDisplayTime(text, state->showHour, t);
    char *shown = state->shownTimes[controlId == IDC_POSITION];
    if (lstrcmpA(text, shown) == 0) return;
    lstrcpynA(shown, text, sizeof state->shownTimes[0]);
    SetWindowTextA(control, text);
}

void SetFileNameText(HWND window, const char *name) {
    PlayerState *state = GetPlayerState(window);
    if (state) {
        if (name != state->currentFile) lstrcpynA(state->currentFile, name, kPathSize);
        // A file opened by its short alias shows its real name.
        WCHAR real[kPathSize];
        if (LongNameBeyondCodePage(name, real)) {
            if (!state->pathSetDlgItemPathW || !state->pathSetDlgItemPathW(window, IDC_FILENAME, real))
                SetDlgItemTextW(window, IDC_FILENAME, real);
            return;
        }
        if (state->pathSetDlgItemPath) {
            state->pathSetDlgItemPath(window, IDC_FILENAME, name);
            return;
        }
    }
    SetDlgItemTextA(window, IDC_FILENAME, name);
}

int GetBarPosition(HWND window) {
    return GetScrollPos(MainControl(window, IDC_POSITION_BAR), SB_CTL);
}

void SetBarPosition(HWND window, int position) {
    SetScrollPos(MainControl(window, IDC_POSITION_BAR), SB_CTL, position, TRUE);
}

void SetBarRange(HWND window, int minimum, int maximum) {
    SetScrollRange(MainControl(window, IDC_POSITION_BAR), SB_CTL, minimum, maximum, TRUE);
}

void EnableButton(HWND window, int controlId, int enable) {
    HWND control = MainControl(window, controlId);
    if (!control) return;
    if ((IsWindowEnabled(control) ? 1 : 0) == (enable ? 1 : 0)) return;
    if (!enable && GetFocus() == control) {
        // A disabled button must neither keep the focus nor look like the default.
        LONG style = GetWindowLongA(control, GWL_STYLE);
        SetFocus(MainControl(window, IDC_POSITION_BAR));
        SetWindowLongA(control, GWL_STYLE, style & ~BS_DEFPUSHBUTTON);
    }
    EnableWindow(control, enable ? TRUE : FALSE);
}

void ShowSpeed(HWND window, int percent) {
    PlayerState *state = GetPlayerState(window);
    if (!state || !state->appName || percent == state->shownSpeed) return;
    state->shownSpeed = percent;
    char caption[kPathSize + 16];
    if (percent == kSpeedNormal) {
        lstrcpynA(caption, state->appName, sizeof caption);
    } else {
        wsprintfA(caption, "%s - %d%%", state->appName, percent);
    }
    SetWindowTextA(window, caption);
}
