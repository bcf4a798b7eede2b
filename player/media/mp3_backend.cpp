// Playing MP3 files through the decoder library bound at start-up.
#include "media/mp3_backend.h"
#include "text_blocks.h"
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

// Any failure of the decoder: its own last error number says what it was.
constexpr DWORD kDecoderFailed = 1;

HWND mp3Window = nullptr;  // where the end-of-play notification goes
// Counts the opens and closes of MP3 sessions: odd while one is open. The
// decoder's end-of-play signal names the session it came in, so that a late
// signal after a close (or in a newer session's time) is let go.
volatile LONG mp3Session = 0;
volatile LONG mp3EndedSession = 0;  // the session whose end-of-play came last

int DecoderMode(const PlayerState *state) {
    int detail = 0;
    switch (state->mp3Decoder.getState(&detail)) {
    case 0: return MCI_MODE_STOP;
    case 1: return MCI_MODE_PLAY;
    case 2: return MCI_MODE_PAUSE;
    default: return MCI_MODE_NOT_READY;
    }
}

// Polls the decoder's mode every 10 ms until it is `mode`; false after the bound.
bool WaitForMode(const PlayerState *state, int mode) {
    const DWORD start = GetTickCount();
    while (DecoderMode(state) != mode) {
        if (GetTickCount() - start >= kDecoderWaitMs) return false;
        Sleep(10);
    }
    return true;
}

// Pauses until the decoder reports paused; false after the bound.
bool PauseUntilPaused(PlayerState *state) {
    const DWORD start = GetTickCount();
    while (DecoderMode(state) != MCI_MODE_PAUSE) {
        if (GetTickCount() - start >= kDecoderWaitMs) return false;
        state->mp3Decoder.pause();
        Sleep(10);
    }
    return true;
}

bool PlayOn(PlayerState *state) {
    const int mode = DecoderMode(state);
    if (mode == MCI_MODE_STOP) return state->mp3Decoder.play() != FALSE;
    if (mode == MCI_MODE_PAUSE) return state->mp3Decoder.restart() != FALSE;
    return true;  // already playing (a seek while playing): it goes on
}

DWORD SetSample(PlayerState *state, int sample) {
    return state->mp3Decoder.setPlaySamples(sample) ? 0 : kDecoderFailed;
}

bool Accepts(const PlayerState *state, const char *path) {
    if (!state->mp3Available) return false;
    char mp3Ext[16] = "";
    LoadStringA(state->hInstance, IDS_EXT_MP3, mp3Ext, sizeof mp3Ext);
    return lstrcmpiA(PathExtension(path), mp3Ext) == 0;
}

DWORD Open(HWND window, PlayerState *state, const char *path) {
    Mp3Decoder &d = state->mp3Decoder;
    alignas(4) BYTE info[kInfoBlockSize] = {};
    if (!d.open(path, info)) return kDecoderFailed;
    mp3Window = window;
    if (!d.callback(DecoderCallback)) {
        d.close();
        return kDecoderFailed;
    }
    InterlockedIncrement(&mp3Session);
    state->mp3SampleRate = *reinterpret_cast<const int *>(info + kInfoSampleRateOffset);
    state->mp3TotalSamples = d.getTotalSamples();
    alignas(4) BYTE mpegInfo[kMpegInfoSize] = {};
    d.getMpegInfo(mpegInfo);
    return 0;
}

void Close(PlayerState *state) {
    state->mp3Decoder.close();
    if (InterlockedCompareExchange(&mp3Session, 0, 0) & 1) InterlockedIncrement(&mp3Session);
}

// The decoder plays only from a pause or from its start: once stopped (also
// at the end of a play), it plays and pauses at once so that it stands
// paused. A file so short that it ends before the pause stands stopped at its
// end, which serves as well.
DWORD Hold(PlayerState *state) {
    if (!WaitForMode(state, MCI_MODE_STOP)) return kDecoderFailed;
    InterlockedExchange(&mp3EndedSession, 0);
    if (!PlayOn(state)) return kDecoderFailed;
    const DWORD start = GetTickCount();
    for (;;) {
        const int mode = DecoderMode(state);
        if (mode == MCI_MODE_PLAY) return PauseUntilPaused(state) ? 0 : kDecoderFailed;
        if (mode == MCI_MODE_PAUSE) return 0;
        if (mode == MCI_MODE_STOP && mp3EndedSession && mp3EndedSession == mp3Session) return 0;
        if (GetTickCount() - start >= kDecoderWaitMs) return kDecoderFailed;
        Sleep(5);
    }
}

DWORD Play(HWND, PlayerState *state, bool *playing) {
    *playing = PlayOn(state);
    return *playing ? 0 : kDecoderFailed;
}

DWORD Pause(PlayerState *state) { return state->mp3Decoder.pause() ? 0 : kDecoderFailed; }

DWORD SeekTo(HWND, PlayerState *state, int position) {
    return SetSample(state, MulDiv(position, state->mp3SampleRate, 1000));
}

DWORD SeekToEdge(PlayerState *state, bool toEnd) { return SetSample(state, toEnd ? state->mp3TotalSamples - 1 : 0); }

DWORD Length(const PlayerState *state, int *ms) {
    *ms = state->mp3SampleRate ? MulDiv(state->mp3TotalSamples, 1000, state->mp3SampleRate) : 0;
    return 0;
}

DWORD Position(const PlayerState *state, int *ms) {
    *ms = state->mp3SampleRate ? MulDiv(state->mp3Decoder.getPlaySamples(), 1000, state->mp3SampleRate) : 0;
    return 0;
}

DWORD Mode(const PlayerState *state, int *mode) {
    // A file so short that it ended while being held stands stopped in the
    // decoder; the session holds it paused.
    *mode = DecoderMode(state);
    if (*mode == MCI_MODE_STOP && state->sessionState == StatePaused) *mode = MCI_MODE_PAUSE;
    return 0;
}

// Only the end of this session's playing counts (MCI's notices carry flags).
bool IsEnd(const PlayerState *, WPARAM flags, LPARAM session) {
    return flags == 0 && session == InterlockedCompareExchange(&mp3Session, 0, 0);
}

void ErrorText(const PlayerState *state, DWORD, char *text) {
    const DWORD n = static_cast<DWORD>(state->mp3Decoder.getLastErrorNo());
    int length = wsprintfA(text, "VBMP3 Error : %lu\n", n);
    const UINT id = n <= IDS_VBMP3_ERROR_LAST - IDS_VBMP3_ERROR_BASE ? IDS_VBMP3_ERROR_BASE + n
                                                                      : IDS_VBMP3_ERROR_BASE;
    LoadStringA(state->hInstance, id, text + length, 101);
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

const MediaBackend kMp3Backend = {
    Accepts, Open, Close, Hold, Play, Pause, SeekTo, SeekToEdge,
    Length, Position, Mode, IsEnd, ErrorText,
};
