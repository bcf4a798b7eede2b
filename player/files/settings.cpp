#include "time_stretch.h"
#include "files/settings.h"
#include "settings_section.h"
#include "settings_update.h"
#include "files/recent_files.h"
#include "dde/command_language.h"
#include "media/media_session.h"
#include "app/main_window.h"

namespace {

constexpr const char *kMain = "Tavolin";
constexpr const char *kLastFile = "LastFile";
constexpr const char *kDevParam = "DevParam";
constexpr const char *kRecent = "RecentFileList";
constexpr const char *kSpeedKey = "Speed";  // percent

// A speed kept in the file: out of range clamps into it, nothing or a
// damaged value (no number, not positive) reads as 100 %.
int SpeedFromSetting(int percent) {
    if (percent <= 0) return kSpeedNormal;
    return percent < kSpeedSlowest ? kSpeedSlowest : percent > kSpeedFastest ? kSpeedFastest : percent;
}

void WriteFlag(SettingsUpdate &file, const char *section, const char *key, int value) {
    file.Write(section, key, value ? "1" : "0");
}

void WriteLong(SettingsUpdate &file, const char *section, const char *key, long value) {
    char text[16];
    wsprintfA(text, "%ld", value);
    file.Write(section, key, text);
}

// "flag,x,y": moves the window when the flag is set and both commas are there.
void ApplyRestorePosition(HWND window, PlayerState *state, const SettingsSection &main) {
    char text[kPathSize] = "";
    main.Value("RestorePosition", text, sizeof text);
    const char *first = FindChar(text, ',');
    if (!first) return;
    state->restorePosition = ParseDecimal(text);
    const char *second = FindChar(first + 1, ',');
    if (!second) return;
    int x = ParseDecimal(first + 1);
    int y = ParseDecimal(second + 1);
    if (!state->restorePosition) return;
    // A position edited by hand, or kept from a screen no longer there, must
    // not put the window where it cannot be seen: it stays whole on the screen.
    RECT size;
    GetWindowRect(window, &size);
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int right = left + GetSystemMetrics(SM_CXVIRTUALSCREEN) - (size.right - size.left);
    const int bottom = top + GetSystemMetrics(SM_CYVIRTUALSCREEN) - (size.bottom - size.top);
    x = x > right ? right : x;
    y = y > bottom ? bottom : y;
    x = x < left ? left : x;
    y = y < top ? top : y;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WriteWindowPosition(HWND window, PlayerState *state, SettingsUpdate &file) {
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    GetWindowPlacement(window, &placement);
    int x = placement.rcNormalPosition.left;
    int y = placement.rcNormalPosition.top;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    RECT work;
    if (GetVersionExA(&version) && version.dwMajorVersion >= 4 &&
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
        x += work.left;
        y += work.top;
    }
    char text[48];
    wsprintfA(text, "%d,%d,%d", state->restorePosition, x, y);
    file.Write(kMain, "RestorePosition", text);
}

}  // namespace

int ReadRecordFormat(RecordFormat *format, const char *section, const char *path) {
    const SettingsSection values(section, path);
    char text[20];
    values.Value("SamplesPerSec", text, sizeof text, "22050");
    format->samplesPerSec = static_cast<DWORD>(ParseDecimal(text));
    values.Value("BitsPerSample", text, sizeof text, "8");
    format->bitsPerSample = static_cast<WORD>(ParseDecimal(text));
    values.Value("Channels", text, sizeof text, "1");
    format->channels = static_cast<WORD>(ParseDecimal(text));
    return 1;
}

int WriteRecordFormat(const RecordFormat *format, const char *section, SettingsUpdate &file) {
    char text[20];
    wsprintfA(text, "%lu", static_cast<unsigned long>(format->samplesPerSec));
    file.Write(section, "SamplesPerSec", text);
    wsprintfA(text, "%u", static_cast<unsigned>(format->bitsPerSample));
    file.Write(section, "BitsPerSample", text);
    wsprintfA(text, "%u", static_cast<unsigned>(format->channels));
    file.Write(section, "Channels", text);
    return 1;
}

void LoadPlayerSettings(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return;
    const char *path = state->iniPath;
    // A section at a time: each read of the file is a pass over all of it.
    const SettingsSection main(kMain, path);
    state->topmost = main.Int("Topmost", state->topmost);
    state->showErrors = main.Int("ShowError", state->showErrors);
    state->showHour = main.Int("ShowHour", state->showHour);
    state->repeatAll = main.Int("RepeatAll", state->repeatAll);
    state->speed = SpeedFromSetting(main.Int(kSpeedKey, kSpeedNormal));
    ApplyRestorePosition(window, state, main);
    state->iconToTray = main.Int("Icon2Tray", state->iconToTray);
    const SettingsSection last(kLastFile, path);
    state->restoreLastFile = last.Int("Restore", state->restoreLastFile);
    last.Value("Name", state->lastFile, kPathSize);
    state->lastFilePos = last.Int("Pos", state->lastFilePos);
    state->lastFileOffset = last.Int("Offset", state->lastFileOffset);
    ReadRecordFormat(&state->recordFormat, kDevParam, path);
    RecentFilesRead(&state->recentFiles, kRecent, path);
    RecentFilesBuildMenu(&state->recentFiles, state->fileMenu);
}

void SavePlayerSettings(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return;
    SettingsUpdate file(state->iniPath);
    file.Write(kMain, "Version", kProgramVersion);
    WriteFlag(file, kMain, "Topmost", state->topmost);
    WriteFlag(file, kMain, "ShowError", state->showErrors);
    WriteFlag(file, kMain, "ShowHour", state->showHour);
    WriteFlag(file, kMain, "RepeatAll", state->repeatAll);
    WriteLong(file, kMain, kSpeedKey, state->speed);
    WriteWindowPosition(window, state, file);
    WriteFlag(file, kMain, "Icon2Tray", state->iconToTray);
    WriteFlag(file, kLastFile, "Restore", state->restoreLastFile);
    file.Write(kLastFile, "Name", state->lastFile);
    const bool named = state->lastFile[0] != '\0';
    WriteLong(file, kLastFile, "Pos", named ? MediaGetPosition(window) : 0);
    WriteLong(file, kLastFile, "Offset", named ? state->zeroMark : 0);
    WriteRecordFormat(&state->recordFormat, kDevParam, file);
    RecentFilesWrite(&state->recentFiles, kRecent, file);
    file.Commit();  // a file that cannot be written keeps what it held
}
