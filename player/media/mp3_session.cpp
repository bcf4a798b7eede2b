// The MP3 branch of the media session, through the decoder library bound at start-up.
#include "media/mp3_session.h"
#include "media/media_session.h"
#include "res/resource.h"
#include <mmsystem.h>

namespace {

constexpr const char *kLibraryName = "VBMP3.dll";
constexpr int kEndOfPlay = 4;
constexpr int kInfoBlockSize = 272;
constexpr int kInfoSampleRateOffset = 264;
constexpr int kMpegInfoSize = 56;

constexpr const char *kEntryNames[kDecoderEntryCount] = {
    "vbmp3_init", "vbmp3_free", "vbmp3_open", "vbmp3_close", "vbmp3_getState",
    "vbmp3_play", "vbmp3_stop", "vbmp3_pause", "vbmp3_restart", "vbmp3_seek",
    "vbmp3_setStepPitch", "vbmp3_getStepPitch", "vbmp3_setPitch", "vbmp3_getPitch",
    "vbmp3_getPlaySamples", "vbmp3_getTotalSamples", "vbmp3_setPlaySamples",
    "vbmp3_getPlayFlames", "vbmp3_setPlayFlames", "vbmp3_callback",
    "vbmp3_getLastErrorNo", "vbmp3_getFileType", "vbmp3_getMpegInfo", "vbmp3_getVersion",
};

HWND mp3Window = nullptr;  // where the end-of-play notification goes
// Counts the opens and closes of MP3 sessions: odd while one is open. The
// decoder's end-of-play signal names the session it came in, so that a late
// signal after a close (or in a newer session's time) is let go.
volatile LONG mp3Session = 0;
volatile LONG mp3EndedSession = 0;  // the session whose end-of-play came last

// Polls the decoder's mode every 10 ms until it is `mode`; false after the bound.
bool WaitForMode(const PlayerState *state, int mode) {
    const DWORD start = GetTickCount();
    while (Mp3GetMode(state) != mode) {
        if (GetTickCount() - start >= kDecoderWaitMs) return false;
        Sleep(10);
    }
    return true;
}

// Pauses until the decoder reports paused; false after the bound.
bool PauseUntilPaused(PlayerState *state) {
    const DWORD start = GetTickCount();
    while (Mp3GetMode(state) != MCI_MODE_PAUSE) {
        if (GetTickCount() - start >= kDecoderWaitMs) return false;
        state->mp3Decoder.pause();
        Sleep(10);
    }
    return true;
}

// Plays and pauses at once, so that the decoder stands paused. A file so short
// that it ends before the pause stands stopped at its end, which serves as
// well. False when the decoder reaches neither within the bound.
bool PlayThenHold(HWND window, PlayerState *state) {
    InterlockedExchange(&mp3EndedSession, 0);
    if (!MediaPlay(window)) return false;
    const DWORD start = GetTickCount();
    for (;;) {
        const int mode = Mp3GetMode(state);
        if (mode == MCI_MODE_PLAY) return PauseUntilPaused(state);
        if (mode == MCI_MODE_PAUSE) return true;
        if (mode == MCI_MODE_STOP && mp3EndedSession && mp3EndedSession == mp3Session) return true;
        if (GetTickCount() - start >= kDecoderWaitMs) return false;
        Sleep(5);
    }
}

// A decoder that never reaches the awaited state: report it and close the session.
int GiveUp(HWND window) {
    MediaReportError(window, 0);
    MediaClose(window);
    return 0;
}

}  // namespace

int BindDecoder(PlayerState *state) {
    Mp3Decoder &d = state->mp3Decoder;
    d.libraryName = kLibraryName;
    if (!d.module) d.module = LoadLibraryA(kLibraryName);
    if (d.module) {
        FARPROC *slots = reinterpret_cast<FARPROC *>(&d.init);
        bool complete = true;
        for (int i = 0; i < kDecoderEntryCount; ++i) {
            slots[i] = GetProcAddress(d.module, kEntryNames[i]);
            if (!slots[i]) complete = false;
        }
        if (!complete) {
            FreeLibrary(d.module);
            d.module = nullptr;
            for (int i = 0; i < kDecoderEntryCount; ++i) slots[i] = nullptr;
        }
    }
    return d.module ? 1 : 0;
}

void UnbindDecoder(PlayerState *state) {
    Mp3Decoder &d = state->mp3Decoder;
    if (state->mp3Available) d.free();
    if (d.module) {
        FreeLibrary(d.module);
        d.module = nullptr;
    }
    state->mp3Available = 0;
}

void CALLBACK DecoderCallback(int code, int) {
    if (code != kEndOfPlay) return;
    const LONG session = InterlockedCompareExchange(&mp3Session, 0, 0);
    if (!(session & 1)) return;  // no session open
    InterlockedExchange(&mp3EndedSession, session);
    PostMessageA(mp3Window, MM_MCINOTIFY, 0, session);
}

int Mp3Open(HWND window, PlayerState *state, const char *path) {
    Mp3Decoder &d = state->mp3Decoder;
    state->mp3Active = 1;
    alignas(4) BYTE info[kInfoBlockSize] = {};
    if (!d.open(path, info)) {
        MediaReportError(window, 0);
        state->mp3Active = 0;
        return 0;
    }
    mp3Window = window;
    if (!d.callback(DecoderCallback)) {
        MediaReportError(window, 0);
        d.close();
        state->mp3Active = 0;
        return 0;
    }
    InterlockedIncrement(&mp3Session);
    state->sessionState = StateOpened;
    state->mp3SampleRate = *reinterpret_cast<const int *>(info + kInfoSampleRateOffset);
    state->mp3TotalSamples = d.getTotalSamples();
    alignas(4) BYTE mpegInfo[kMpegInfoSize] = {};
    d.getMpegInfo(mpegInfo);
    return 1;
}

void Mp3Close(PlayerState *state) {
    state->mp3Decoder.close();
    if (InterlockedCompareExchange(&mp3Session, 0, 0) & 1) InterlockedIncrement(&mp3Session);
    state->mp3Active = 0;
}

int Mp3Prime(HWND window, PlayerState *state) {
    if (!PlayThenHold(window, state)) return GiveUp(window);
    state->sessionState = StatePaused;
    // The priming play ran for a moment: the file stands at its start.
    return Mp3SetSample(window, state, 0);
}

int Mp3Play(HWND window, PlayerState *state) {
    const int mode = Mp3GetMode(state);
    BOOL ok = TRUE;  // already playing (a seek while playing): it goes on
    if (mode == MCI_MODE_STOP) ok = state->mp3Decoder.play();
    else if (mode == MCI_MODE_PAUSE) ok = state->mp3Decoder.restart();
    if (!ok) {
        MediaReportError(window, 0);
        return 0;
    }
    state->sessionState = StatePlaying;
    return 1;
}

int Mp3Pause(HWND window, PlayerState *state) {
    if (!state->mp3Decoder.pause()) {
        MediaReportError(window, 0);
        return 0;
    }
    return 1;
}

int Mp3SetSample(HWND window, PlayerState *state, int sample) {
    if (!state->mp3Decoder.setPlaySamples(sample)) {
        MediaReportError(window, 0);
        return 0;
    }
    return 1;
}

int Mp3GetLength(const PlayerState *state) {
    if (!state->mp3SampleRate) return 0;
    return MulDiv(state->mp3TotalSamples, 1000, state->mp3SampleRate);
}

int Mp3GetPosition(const PlayerState *state) {
    if (!state->mp3SampleRate) return 0;
    return MulDiv(state->mp3Decoder.getPlaySamples(), 1000, state->mp3SampleRate);
}

int Mp3GetMode(const PlayerState *state) {
    int detail = 0;
    switch (state->mp3Decoder.getState(&detail)) {
    case 0: return MCI_MODE_STOP;
    case 1: return MCI_MODE_PLAY;
    case 2: return MCI_MODE_PAUSE;
    default: return MCI_MODE_NOT_READY;
    }
}

int Mp3OnNotify(HWND window, PlayerState *state, LPARAM session) {
    // Only the end of this session's playing counts.
    if (session != InterlockedCompareExchange(&mp3Session, 0, 0) || state->sessionState != StatePlaying) return 1;
    state->sessionState = StateOpened;
    if (!WaitForMode(state, MCI_MODE_STOP)) return GiveUp(window), 1;
    if (!PlayThenHold(window, state)) return GiveUp(window), 1;
    state->sessionState = StatePaused;
    MediaLast(window);
    return 1;
}

void Mp3ErrorText(PlayerState *state, char *text) {
    const DWORD n = static_cast<DWORD>(state->mp3Decoder.getLastErrorNo());
    int length = wsprintfA(text, "VBMP3 Error : %lu\n", n);
    const UINT id = n <= IDS_VBMP3_ERROR_LAST - IDS_VBMP3_ERROR_BASE ? IDS_VBMP3_ERROR_BASE + n
                                                                      : IDS_VBMP3_ERROR_BASE;
    LoadStringA(state->hInstance, id, text + length, 101);
}
