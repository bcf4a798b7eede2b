// The media session: one sound file or one new recording. The session keeps
// its state, the displays and the error boxes; the way the file plays is a
// MediaBackend, chosen at open and kept until the close.
#include "media/media_session.h"
#include "host_system.h"
#include "media/mci_backend.h"
#include "media/mp3_backend.h"
#include "media/recording_take.h"
#include "media/stretch_backend.h"
#include "time_stretch.h"
#include "app/main_window.h"
#include "app/player_state.h"
#include "app/displays.h"
#include "res/resource.h"
#include <mmsystem.h>

namespace {

// The ways of playing, tried in turn at open: the first that accepts the
// file and opens it plays it. A failure of the last one tried is reported.
constexpr const MediaBackend *kBackends[] = {&kMciBackend, &kMp3Backend};

// A closed session and a recording answer through MCI.
const MediaBackend *Way(const PlayerState *state) { return state->media ? state->media : &kMciBackend; }

void ClearRepeat(PlayerState *state) {
    state->repeatEnd = 0;
    state->repeatStart = 0;
}

// The length display and the bar's range for the open file.
void ShowLength(HWND window, PlayerState *state) {
    const int length = MediaGetLength(window);
    state->scrollScale = ScrollScaleFor(length);
    SetBarRange(window, 0, (length - 1) / state->scrollScale);
    SetTimeText(window, IDC_LENGTH, length);
}

void ClearDisplays(HWND window) {
    SetTimeText(window, IDC_LENGTH, 0);
    SetTimeText(window, IDC_POSITION, 0);
    SetFileNameText(window, "");
}

}  // namespace

bool g_errorBoxShown = false;
bool g_closeAfterErrorBox = false;

bool g_deferErrorBoxes = false;

namespace {

constexpr int kBoxTextSize = 2 * kPathSize;  // an error's text, and a name
bool boxDeferred = false;                      // a box put off waits for WM_DEFERREDERROR
char deferredText[kBoxTextSize];

void ShowErrorBox(HWND window, const char *text) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return;
    char caption[kPathSize] = "";
    lstrcpynA(caption, state->appName, sizeof caption);
    g_errorBoxShown = true;
    {
        CentredDialogs centred;
        MessageBoxA(window, text, caption, MB_ICONWARNING);
    }
    g_errorBoxShown = false;
    if (g_closeAfterErrorBox) {
        g_closeAfterErrorBox = false;
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
}

}  // namespace

// A box with the text, or a beep while errors are not shown. One box at a
// time: a further error while one is up (or put off) only beeps, and a close
// asked for meanwhile happens after it.
static void ReportText(HWND window, const char *text) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return;
    if (!state->showErrors || g_errorBoxShown || boxDeferred) {
        MessageBeep(0xFFFFFFFF);
        return;
    }
    if (g_deferErrorBoxes) {
        lstrcpynA(deferredText, text, sizeof deferredText);
        boxDeferred = true;
        PostMessageA(window, WM_DEFERREDERROR, 0, 0);
        return;
    }
    ShowErrorBox(window, text);
}

// The error's text as the way of playing words it; a file not found is
// named on a line of its own.
static void ReportError(HWND window, DWORD error, const MediaBackend *from, const char *name = nullptr) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return;
    char text[kBoxTextSize] = "";
    from->errorText(state, error, text);
    if (name && error == MCIERR_FILE_NOT_FOUND) {
        for (const char *part : {"\r\n", name}) {
            const int length = lstrlenA(text);
            lstrcpynA(text + length, part, kBoxTextSize - length);
        }
    }
    ReportText(window, text);
}

// A failure the player words itself, from its string table.
static void ReportOwn(HWND window, UINT stringId) {
    PlayerState *state = GetPlayerState(window);
    char text[kBoxTextSize] = "";
    if (state) LoadStringA(state->hInstance, stringId, text, sizeof text);
    ReportText(window, text);
}

void ShowDeferredErrorBox(HWND window) {
    if (!boxDeferred) return;
    boxDeferred = false;
    ShowErrorBox(window, deferredText);
}

void MediaReportError(HWND window, DWORD error) {
    PlayerState *state = GetPlayerState(window);
    if (state) ReportError(window, error, Way(state));
}

// Reports an error of the session's way of playing; true when there was one.
static bool Failed(HWND window, DWORD error) {
    if (error) MediaReportError(window, error);
    return error != 0;
}

// A way of playing that cannot hold the file: the error, then the close.
static void GiveUp(HWND window, DWORD error) {
    MediaReportError(window, error);
    MediaClose(window);
}

// A recording that cannot go on: the close, then the error.
static void CloseOnError(HWND window, DWORD error) {
    MediaClose(window);
    ReportError(window, error, &kMciBackend);
}

static bool PlayAtSpeed(HWND window, PlayerState *state);

int MediaOpen(HWND window, const char *path) {
    PlayerState *state = GetPlayerState(window);
    if (!state || !path) return 0;
    if (lstrlenA(path) >= kPathSize) {
        // A name that does not fit the player's 260-byte buffers is refused
        // before anything is closed, with the open failure's own text also
        // while an MP3 is open.
        ReportError(window, MCIERR_FILE_NOT_FOUND, &kMciBackend);
        return 0;
    }
    MediaClose(window);
    ClearDisplays(window);
    state->zeroMark = 0;
    ClearRepeat(state);

    const MediaBackend *way = nullptr;
    DWORD error = 0;
    for (const MediaBackend *candidate : kBackends) {
        if (!candidate->accepts(state, path)) continue;
        way = candidate;
        error = way->open(window, state, path);
        if (!error) break;
    }
    if (!way || error) {
        ReportError(window, error, way ? way : &kMciBackend, path);
        return 0;
    }
    state->media = way;
    state->sessionState = StateOpened;

    ShowLength(window, state);
    SetBarPosition(window, 0);
    SetTimeText(window, IDC_POSITION, 0);
    SetFileNameText(window, path);

    if (way->hold) {
        if ((error = way->hold(state))) {
            GiveUp(window, error);
            return 0;
        }
        state->sessionState = StatePaused;
        // The hold played for a moment: the file stands at its start.
        if (Failed(window, way->seekToEdge(state, false))) return 0;
    }
    // Opened the usual way first, so that a file is taken or refused as at
    // 100 %; one the stretch cannot read plays at 100 %.
    if (state->speed != kSpeedNormal && !PlayAtSpeed(window, state)) state->speedFixed = 1;
    return 1;
}

// Moves the open file to the stretch, keeping its state and position.
static bool PlayAtSpeed(HWND window, PlayerState *state) {
    const MediaBackend *old = Way(state);
    if (old == &kStretchBackend) return true;
    if (!IsFileOpen(state->sessionState) || !kStretchBackend.accepts(state, state->currentFile) ||
        kStretchBackend.open(window, state, state->currentFile))
        return false;
    const bool playing = state->sessionState == StatePlaying;
    if (playing) old->pause(state);
    int position = 0;
    old->position(state, &position);
    // The stretch takes up the sound before the old way is closed: a
    // close takes its time, and it would be heard as a gap.
    state->media = &kStretchBackend;
    kStretchBackend.seekTo(window, state, position);
    bool started = false;
    if (playing && kStretchBackend.play(window, state, &started)) state->sessionState = StatePaused;
    old->close(state);
    ShowLength(window, state);
    return true;
}

bool MediaSpeedCanChange(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state || IsRecordingOpen(state->sessionState)) return false;
    return !IsFileOpen(state->sessionState) || Way(state) == &kStretchBackend ||
           (!state->speedFixed && kStretchBackend.accepts(state, state->currentFile));
}

int MediaSetSpeed(HWND window, int percent) {
    PlayerState *state = GetPlayerState(window);
    if (!state || !MediaSpeedCanChange(window)) return 0;
    percent = percent < kSpeedSlowest ? kSpeedSlowest : percent > kSpeedFastest ? kSpeedFastest : percent;
    const int was = state->speed;
    state->speed = percent;
    if (IsFileOpen(state->sessionState) && percent != kSpeedNormal && !PlayAtSpeed(window, state)) {
        state->speed = was;
        return 0;
    }
    StretchBackendSetSpeed(state, percent);
    ShowSpeed(window, MediaGetSpeed(window));
    return 1;
}

int MediaGetSpeed(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return kSpeedNormal;
    return MediaSpeedCanChange(window) ? state->speed : kSpeedNormal;
}

constexpr DWORD kRecordSettleMs = 150;

// Wine's waveaudio answers a stop (also the one a seek makes) before its
// record thread has let go of the input device and the file; a seek, save or
// close in that moment, or the process ending, can hang or crash. Every way
// out of a recording under way stops it here and gives the thread the moment
// it needs. Windows' driver stops synchronously: there nothing waits.
static DWORD StopRecordingUnderWay(PlayerState *state) {
    if (state->sessionState != StateRecording) return 0;
    const DWORD error = MciStop(state);
    if (RunningUnderWine()) Sleep(kRecordSettleMs);
    state->sessionState = StateRecorded;
    return error;
}

int MediaClose(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState == StateClosed) return 1;
    StopRecordingUnderWay(state);
    Way(state)->close(state);
    state->media = nullptr;
    state->sessionState = StateClosed;
    state->speedFixed = 0;
    if (state->takeFile[0]) DeleteFileA(state->takeFile);
    state->takeFile[0] = '\0';
    ClearDisplays(window);
    state->scrollScale = 1;
    SetBarRange(window, 0, 1);
    SetBarPosition(window, 0);
    state->zeroMark = 0;
    ClearRepeat(state);
    return 1;
}

int MediaPlay(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return 0;
    ClearRepeat(state);
    if (!CanPlay(state->sessionState)) return 0;
    bool playing = false;
    if (Failed(window, Way(state)->play(window, state, &playing))) return 0;
    if (playing) {
        state->sessionState = StatePlaying;
        return 1;
    }
    // MCI accepted the play and plays nothing (no sound device): said, where
    // it once passed for success. A file at its end has nothing to play.
    int position = 0, length = 0;
    if (Way(state) != &kMciBackend || Way(state)->position(state, &position) ||
        Way(state)->length(state, &length) || position >= length)
        return 1;
    ReportOwn(window, IDS_DEVICE_GONE);
    return 0;
}

int MediaPause(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState != StatePlaying) return 1;
    if (Failed(window, Way(state)->pause(state))) return 0;
    state->sessionState = StatePaused;
    ClearRepeat(state);
    return 1;
}

// Seeks to the start (toEnd 0) or the end (toEnd 1); playback goes on from there.
static int SeekToEdge(HWND window, bool toEnd) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState == StateClosed) return 1;
    const bool wasPlaying = state->sessionState == StatePlaying;
    StopRecordingUnderWay(state);
    if (Failed(window, Way(state)->seekToEdge(state, toEnd))) return 0;
    state->sessionState = StatePaused;
    if (wasPlaying) MediaPlay(window);
    ClearRepeat(state);
    return 1;
}

int MediaTop(HWND window) { return SeekToEdge(window, false); }
int MediaLast(HWND window) { return SeekToEdge(window, true); }

int MediaSeekTo(HWND window, int position) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState == StateClosed) return 1;
    const int length = MediaGetLength(window);
    if (position >= length) position = length - 1;
    if (position < 0) position = 0;  // also for an empty recording
    StopRecordingUnderWay(state);
    if (Failed(window, Way(state)->seekTo(window, state, position))) return 0;
    ClearRepeat(state);
    return 1;
}

int MediaSeekRel(HWND window, int offset) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState == StateClosed) return 1;
    return MediaSeekTo(window, MediaGetPosition(window) + offset);
}

int MediaZero(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (state && state->sessionState != StateClosed) state->zeroMark = MediaGetPosition(window);
    return 1;
}

int MediaGetLength(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState == StateClosed) return 0;
    int ms = 0;
    return Failed(window, Way(state)->length(state, &ms)) ? 0 : ms;
}

int MediaGetPosition(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState == StateClosed) return 0;
    // A new recording has no position until it records (Wine's waveaudio
    // fails the query then).
    if (state->sessionState == StateRecordReady) return 0;
    int ms = 0;
    return Failed(window, Way(state)->position(state, &ms)) ? 0 : ms;
}

int MediaGetMode(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return 0;
    int mode = 0;
    return Failed(window, Way(state)->mode(state, &mode)) ? 0 : mode;
}

int MediaGetDevCaps(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState != StateClosed) return 0;
    int bits = 0;
    return Failed(window, MciDevCaps(state, &bits)) ? 0 : bits;
}

int MediaOpenForRecord(HWND window, int samplesPerSec, WORD bitsPerSample, WORD channels) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return 0;
    MediaClose(window);
    ClearDisplays(window);
    state->zeroMark = 0;
    ClearRepeat(state);
    if (Failed(window, MciOpenNewRecording(state, samplesPerSec, bitsPerSample, channels))) return 0;
    state->media = &kMciBackend;
    char newName[64] = "";
    LoadStringA(state->hInstance, IDS_NEWRECORDING, newName, sizeof newName);
    SetFileNameText(window, newName);
    state->scrollScale = 1;
    SetBarRange(window, 0, 1);
    SetBarPosition(window, 0);
    state->sessionState = StateRecordReady;
    return 1;
}

int MediaRecord(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState != StateRecordReady) return 0;
    if (DWORD error = MciRecord(window, state)) {
        CloseOnError(window, error);
        return 0;
    }
    state->sessionState = StateRecording;
    return 1;
}

// The milliseconds a stopped recording holds: its length, or where it
// stopped (Wine's waveaudio gives a recording no length before it is saved).
static int RecordedMs(PlayerState *state) {
    int length = 0, position = 0;
    Way(state)->length(state, &length);
    Way(state)->position(state, &position);
    return length > position ? length : position;
}

// MCI says nothing of a save cut short by a full disk: a stopped recording
// goes to a take file of ours first, checked against the milliseconds it
// recorded. Errors wait for the save, which reports them.
static DWORD SaveTake(PlayerState *state) {
    if (state->takeFile[0]) return 0;
    char take[kPathSize] = "";
    const int recordedMs = RecordedMs(state);
    const DWORD error = MakeTakeFile(take, sizeof take) ? MciSave(state, take) : MCIERR_FILE_NOT_SAVED;
    if (error) {
        if (take[0]) DeleteFileA(take);
        return error;
    }
    // A take cut short stays where MCI wrote it, in the temporary folder:
    // under Wine the driver holds nothing more of it.
    if (!TakeIsWhole(take, recordedMs, &state->takeBytes)) return MCIERR_FILE_NOT_SAVED;
    lstrcpyA(state->takeFile, take);
    return 0;
}

// A take without a sample: the device gave nothing (or there is none).
static bool TakeIsEmpty(const PlayerState *state) { return state->takeFile[0] && !state->takeBytes; }

int MediaStopRecord(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState != StateRecording) return 0;
    if (DWORD error = StopRecordingUnderWay(state)) {
        CloseOnError(window, error);
        return 0;
    }
    SaveTake(state);
    if (TakeIsEmpty(state)) {
        ReportOwn(window, IDS_NOTHING_RECORDED);
        return 0;
    }
    return 1;
}

// A position that stands still this long while playing or recording means
// the sound device has gone; longer before it first moves, as a sound server
// may take a second or two to start.
constexpr DWORD kStalledMs = 2000;
constexpr DWORD kNeverStartedMs = 6000;

// Playback ends as a failure ends it; a recording stops and keeps what MCI
// still gives of it. Under Wine the driver of a device gone never answers a
// stop or a close: the device is left to it.
static void DeviceGone(HWND window, PlayerState *state) {
    if (RunningUnderWine() && Way(state) == &kMciBackend) {
        MciLeaveDevice(state);  // the close below asks nothing of it
    } else if (state->sessionState == StateRecording && !StopRecordingUnderWay(state) && !SaveTake(state) &&
               !TakeIsEmpty(state)) {
        ReportOwn(window, IDS_DEVICE_GONE);
        return;
    }
    MediaClose(window);
    ReportOwn(window, IDS_DEVICE_GONE);
}

void MediaWatchProgress(HWND window, int position) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return;
    const int s = state->sessionState;
    if (s != StatePlaying && s != StateRecording) {
        state->watchedSince = 0;
        return;
    }
    const DWORD now = GetTickCount();
    if (!state->watchedSince || position != state->watchedPosition) {
        state->watchedMoved = state->watchedSince != 0;
        state->watchedPosition = position;
        state->watchedSince = now;
        return;
    }
    if (now - state->watchedSince < (state->watchedMoved ? kStalledMs : kNeverStartedMs)) return;
    // A file played to its end stands still until its end is notified; the
    // length is asked only then, not at every tick.
    int length = 0;
    if (s == StatePlaying && !Way(state)->length(state, &length) && position >= length) {
        state->watchedSince = now;
        return;
    }
    state->watchedSince = 0;
    DeviceGone(window, state);
}

int MediaSaveAs(HWND window, const char *path) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState != StateRecorded || !path) return 0;
    if (lstrlenA(path) >= kPathSize) {
        MediaReportError(window, MCIERR_FILE_NOT_FOUND);
        return 0;
    }
    if (DWORD error = SaveTake(state)) {
        Failed(window, error);
        return 0;
    }
    if (TakeIsEmpty(state)) {
        ReportOwn(window, IDS_NOTHING_RECORDED);
        return 0;
    }
    if (!CopyTake(state->takeFile, path)) {
        Failed(window, MCIERR_FILE_NOT_SAVED);
        return 0;
    }
    MediaClose(window);
    return 1;
}

int MediaOnNotify(HWND window, WPARAM flags, LPARAM lParam) {
    PlayerState *state = GetPlayerState(window);
    if (!state || !Way(state)->isEnd(state, flags, lParam)) return 1;
    if (state->sessionState == StateRecording) {
        state->sessionState = StateRecorded;
    } else if (state->sessionState == StatePlaying) {
        state->sessionState = StateOpened;
        // A way that cannot play on from a stop holds the played-out file
        // paused at its end.
        const MediaBackend *way = Way(state);
        if (!way->hold) return 1;
        if (DWORD error = way->hold(state)) {
            GiveUp(window, error);
            return 1;
        }
        state->sessionState = StatePaused;
        MediaLast(window);
    }
    return 1;
}
