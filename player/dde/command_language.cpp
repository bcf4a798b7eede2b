#include "dde/command_language.h"
#include "app/player_state.h"
#include "media/media_session.h"
#include "files/paths.h"
#include "files/recent_files.h"
#include "time_stretch.h"

namespace {

enum class Word {
    Open, Play, Pause, Top, Last, SeekRel, SeekTo, Zero, Close,
    GetPos, GetPos2, GetPos3, GetLen, GetLen2, GetLen3,
    OpenForRecord, Record, StopRecord, SaveAs, PlayPause, Repeat, Speed, SpeedRel, Unknown
};

struct WordEntry {
    const char *text;
    Word word;
};

// Compared case-sensitively, in this order.
constexpr WordEntry kWords[] = {
    {"Open", Word::Open}, {"Play", Word::Play}, {"Pause", Word::Pause}, {"Top", Word::Top},
    {"Last", Word::Last}, {"SeekRel", Word::SeekRel}, {"SeekTo", Word::SeekTo}, {"Zero", Word::Zero},
    {"Close", Word::Close}, {"GetPos", Word::GetPos}, {"GetPos2", Word::GetPos2},
    {"GetPos3", Word::GetPos3}, {"GetLen", Word::GetLen}, {"GetLen2", Word::GetLen2},
    {"GetLen3", Word::GetLen3}, {"OpenForRecord", Word::OpenForRecord}, {"Record", Word::Record},
    {"StopRecord", Word::StopRecord}, {"SaveAs", Word::SaveAs}, {"PlayPause", Word::PlayPause},
    {"Repeat", Word::Repeat}, {"Speed", Word::Speed}, {"SpeedRel", Word::SpeedRel},
};

Word LookUpWord(const char *text) {
    for (const WordEntry &e : kWords)
        if (lstrcmpA(text, e.text) == 0) return e.word;
    return Word::Unknown;
}

void FormatHms(char *out, int t, bool hundredths) {
    const bool negative = t < 0;
    const unsigned long m = negative ? 0ul - static_cast<unsigned long>(t) : static_cast<unsigned long>(t);
    const unsigned long h = m / 1000 / 3600, min = m / 1000 / 60 % 60, s = m / 1000 % 60;
    if (hundredths)
        wsprintfA(out, negative ? "-%02lu:%02lu:%02lu.%02lu" : "%02lu:%02lu:%02lu.%02lu", h, min, s, (m % 1000) / 10);
    else
        wsprintfA(out, negative ? "-%02lu:%02lu:%02lu" : "%02lu:%02lu:%02lu", h, min, s);
}

// The Get family: position (less the zero mark) or length as text.
bool FormatGet(HWND window, Word word, char *out) {
    PlayerState *state = GetPlayerState(window);
    switch (word) {
    case Word::GetPos: wsprintfA(out, "%ld", static_cast<long>(MediaGetPosition(window) - state->zeroMark)); return true;
    case Word::GetPos2: FormatTimeHms(out, MediaGetPosition(window) - state->zeroMark); return true;
    case Word::GetPos3: FormatTimeHmsCs(out, MediaGetPosition(window) - state->zeroMark); return true;
    case Word::GetLen: wsprintfA(out, "%ld", static_cast<long>(MediaGetLength(window))); return true;
    case Word::GetLen2: FormatTimeHms(out, MediaGetLength(window)); return true;
    case Word::GetLen3: FormatTimeHmsCs(out, MediaGetLength(window)); return true;
    default: return false;
    }
}

// Clipboard history, remote desktops and clipboard tools open the clipboard
// for a moment after every change: a Get waits some 80 ms for it at most.
constexpr int kClipboardRetries = 8;
constexpr DWORD kClipboardRetryMs = 10;

bool OpenClipboardSoon(HWND window) {
    for (int retry = 0;; ++retry) {
        if (OpenClipboard(window)) return true;
        if (retry == kClipboardRetries) return false;
        Sleep(kClipboardRetryMs);
    }
}

int PutOnClipboard(HWND window, const char *text) {
    if (!OpenClipboardSoon(window)) return 0;
    EmptyClipboard();
    int result = 0;
    const int size = lstrlenA(text) + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE, size);
    if (block) {
        char *p = static_cast<char *>(GlobalLock(block));
        if (p) {
            CopyMemory(p, text, size);
            GlobalUnlock(block);
            if (SetClipboardData(CF_TEXT, block)) result = 1;
        }
        if (!result) GlobalFree(block);
    }
    CloseClipboard();
    return result;
}

// After a successful Open or SaveAs: long names, recent list, folder.
void RememberPath(PlayerState *state, const char *argument) {
    char path[kPathSize];
    lstrcpynA(path, argument, sizeof path);
    ResolvePath(path);
    RecentFilesAdd(&state->recentFiles, path, state->fileMenu);
    RememberFolder(state, path);
}

int SetRepeat(HWND window, PlayerState *state, int r) {
    if (state->sessionState == StateClosed) return 0;
    const int p = MediaGetPosition(window);
    if (r < 0) {
        const long long start = static_cast<long long>(p) + r;
        state->repeatStart = start < 0 ? 0 : static_cast<int>(start);
        state->repeatEnd = p;
    } else if (r > 0) {
        const long long last = static_cast<long long>(MediaGetLength(window)) - 1;
        const long long end = static_cast<long long>(p) + r;
        state->repeatStart = p;
        state->repeatEnd = static_cast<int>(end > last ? last : end);
    } else {
        state->repeatStart = state->repeatEnd = 0;
    }
    if (state->repeatStart < state->repeatEnd && state->sessionState != StatePlaying) {
        const int start = state->repeatStart, end = state->repeatEnd;
        MediaPlay(window);
        state->repeatStart = start;
        state->repeatEnd = end;
    }
    return 1;
}

}  // namespace

int ParseDecimal(const char *text) {
    unsigned int value = 0;
    bool negative = false, sign = false, digit = false;
    for (const char *p = text; p && *p; ++p) {
        const char c = *p;
        if (c == ' ') continue;
        if (c == '+' || c == '-') {
            if (sign || digit) break;
            sign = true;
            negative = c == '-';
        } else if (c >= '0' && c <= '9') {
            digit = true;
            value = value * 10u + static_cast<unsigned int>(c - '0');
        } else {
            break;
        }
    }
    return static_cast<int>(negative ? 0u - value : value);
}

const char *FindChar(const char *text, char c) {
    for (const char *p = text; p && *p; ++p)
        if (*p == c) return p;
    return nullptr;
}

void FormatTimeHms(char *out, int t) { FormatHms(out, t, false); }
void FormatTimeHmsCs(char *out, int t) { FormatHms(out, t, true); }

int FormatRequestItem(HWND window, const char *item, char *out) {
    static constexpr WordEntry kItems[] = {
        {"GetPos", Word::GetPos}, {"GetPos2", Word::GetPos2}, {"GetPos3", Word::GetPos3},
        {"GetLen", Word::GetLen}, {"GetLen2", Word::GetLen2}, {"GetLen3", Word::GetLen3},
    };
    out[0] = '\0';
    if (!GetPlayerState(window)) return 0;
    for (const WordEntry &e : kItems)
        if (lstrcmpA(item, e.text) == 0) return FormatGet(window, e.word, out) ? 1 : 0;
    if (lstrcmpA(item, "GetDevCaps") == 0) wsprintfA(out, "%d", MediaGetDevCaps(window));
    else if (lstrcmpA(item, "GetMode") == 0) wsprintfA(out, "%d", MediaGetMode(window));
    else if (lstrcmpA(item, "GetSpeed") == 0) wsprintfA(out, "%d", MediaGetSpeed(window));
    return out[0] ? 1 : 0;
}

int RunCommandString(HWND window, const char *text) {
    PlayerState *state = GetPlayerState(window);
    if (!state || !text) return 0;
    const int n = lstrlenA(text);
    if (n < 2 || n >= kCommandBufferSize || text[0] != '[' || text[n - 1] != ']') return 0;

    // Inner text: between the brackets; it must hold '(' and end with ')'.
    char word[kCommandBufferSize];
    char argument[kCommandBufferSize];
    const char *inner = text + 1;
    const int innerLength = n - 2;
    const char *open = nullptr;
    for (int i = 0; i < innerLength; ++i)
        if (inner[i] == '(') { open = inner + i; break; }
    if (!open || innerLength == 0 || inner[innerLength - 1] != ')') return 0;
    const int wordLength = static_cast<int>(open - inner);
    lstrcpynA(word, inner, wordLength + 1);
    const int argumentLength = innerLength - wordLength - 2;
    if (argumentLength < 0) return 0;  // "(" is the final ')' itself: no argument part
    lstrcpynA(argument, open + 1, argumentLength + 1);
    const bool hasArgument = argument[0] != '\0';

    const Word w = LookUpWord(word);
    char reply[kPathSize];
    switch (w) {
    case Word::Open: {
        if (argumentLength >= kPathSize) return 0;  // does not fit the file name buffers
        if (!MediaOpen(window, argument)) return 0;
        RememberPath(state, argument);
        return 1;
    }
    case Word::Play:
        if (hasArgument) MediaSeekRel(window, ParseDecimal(argument));
        return MediaPlay(window);
    case Word::Pause: return MediaPause(window);
    case Word::Top: return MediaTop(window);
    case Word::Last: return MediaLast(window);
    case Word::SeekRel: return MediaSeekRel(window, ParseDecimal(argument));
    case Word::SeekTo: return MediaSeekTo(window, ParseDecimal(argument) + state->zeroMark);
    case Word::Zero: MediaZero(window); return 1;
    case Word::Close: MediaClose(window); return 1;
    case Word::GetPos: case Word::GetPos2: case Word::GetPos3:
    case Word::GetLen: case Word::GetLen2: case Word::GetLen3:
        FormatGet(window, w, reply);
        return PutOnClipboard(window, reply);
    case Word::OpenForRecord: {
        const char *first = FindChar(argument, ',');
        const char *second = first ? FindChar(first + 1, ',') : nullptr;
        if (!second) return 0;
        return MediaOpenForRecord(window, ParseDecimal(argument), static_cast<WORD>(ParseDecimal(first + 1)),
                                  static_cast<WORD>(ParseDecimal(second + 1)));
    }
    case Word::Record: return MediaRecord(window);
    case Word::StopRecord: return MediaStopRecord(window);
    case Word::SaveAs: {
        if (argumentLength >= kPathSize) return 0;
        if (!MediaSaveAs(window, argument)) return 0;
        RememberPath(state, argument);
        return 1;
    }
    case Word::PlayPause:
        if (state->sessionState == StatePlaying) return MediaPause(window);
        if (CanPlay(state->sessionState)) {
            if (hasArgument) MediaSeekRel(window, ParseDecimal(argument));
            return MediaPlay(window);
        }
        return 0;
    case Word::Repeat: return SetRepeat(window, state, ParseDecimal(argument));
    case Word::Speed: {
        const int percent = ParseDecimal(argument);  // nothing, no number, or not positive: 100
        return MediaSetSpeed(window, percent > 0 ? percent : kSpeedNormal);
    }
    case Word::SpeedRel: return MediaSetSpeed(window, MediaGetSpeed(window) + ParseDecimal(argument));
    case Word::Unknown: break;
    }
    return 0;
}
