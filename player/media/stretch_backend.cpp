#include "media/stretch_backend.h"
#include "media/pcm_source.h"
#include "pcm_format.h"
#include "text_blocks.h"
#include "time_stretch.h"
#include "res/resource.h"
#include <mmsystem.h>
#include <new>

namespace {

constexpr int kBuffers = 6;
constexpr int kBufferMs = 10;  // six of them: a new speed is heard within 0.1 s
constexpr size_t kFeedLeast = 64;  // source frames read at a time, at least
constexpr DWORD kIdleWaitMs = 20;
constexpr DWORD kThreadEndMs = 2000;
// The end of play is posted as an MM_MCINOTIFY with flags MCI never sends.
constexpr WPARAM kEndFlags = 0x100;
// A file that cannot be read on (a failure of its codec).
constexpr DWORD kReadFailed = MCIERR_FILE_READ;

}  // namespace

struct StretchPlayback {
    CRITICAL_SECTION lock;
    HANDLE wake = nullptr;  // waveOut's buffer events, and commands
    HANDLE thread = nullptr;
    volatile LONG quit = 0;
    HWND window = nullptr;
    LONG session = 0;

    PcmSource source;
    TimeStretch stretch;
    std::vector<int16_t> scratch;  // source frames on their way in

    HWAVEOUT wave = nullptr;
    WAVEHDR headers[kBuffers] = {};
    std::vector<int16_t> pcm[kBuffers];
    int64_t outputOrigin = 0;  // the device's position (frames) at the last start
    int mode = MCI_MODE_STOP;
    int64_t heldFrame = 0;     // the source frame while not playing
    bool restartDue = true;    // a play starts at heldFrame (not going on from a pause)
};

namespace {

volatile LONG endSession = 0;  // counts the opens: a late end notice names an older one

struct Locked {
    explicit Locked(StretchPlayback *p) : p(p) { EnterCriticalSection(&p->lock); }
    ~Locked() { LeaveCriticalSection(&p->lock); }
    StretchPlayback *p;
};

int BytesPerFrame(const StretchPlayback *p) { return p->source.channels * 2; }

int64_t OutputPosition(const StretchPlayback *p) {
    MMTIME time = {};
    time.wType = TIME_BYTES;
    if (!p->wave || waveOutGetPosition(p->wave, &time, sizeof time)) return 0;
    return time.wType == TIME_SAMPLES ? time.u.sample : time.u.cb / static_cast<DWORD>(BytesPerFrame(p));
}

// The source frame being heard.
int64_t HeardFrame(const StretchPlayback *p) {
    if (p->mode != MCI_MODE_PLAY) return p->heldFrame;
    int64_t played = OutputPosition(p) - p->outputOrigin;
    if (played < 0) played = 0;
    if (played > p->stretch.madeFrames) played = p->stretch.madeFrames;
    const int64_t frame = StretchSourcePosition(&p->stretch, played) / 100;
    return frame < p->source.frames ? frame : p->source.frames;
}

bool Queued(const WAVEHDR &h) { return (h.dwFlags & WHDR_PREPARED) && !(h.dwFlags & WHDR_DONE); }

void UnprepareDone(StretchPlayback *p) {
    for (WAVEHDR &h : p->headers)
        if ((h.dwFlags & WHDR_PREPARED) && (h.dwFlags & WHDR_DONE)) waveOutUnprepareHeader(p->wave, &h, sizeof h);
}

// Source frames into the stretch, or its end: no more than it wants for
// its next window, as what it makes ahead is heard at the speed it was made
// at (1024 frames were up to 93 ms of it at 25 %).
void Feed(StretchPlayback *p) {
    size_t wanted = StretchWants(&p->stretch);
    if (wanted < kFeedLeast) wanted = kFeedLeast;
    p->scratch.resize(wanted * static_cast<size_t>(p->source.channels));
    const size_t got = PcmRead(&p->source, p->scratch.data(), wanted);
    // A file cut short (or a codec failing on it) ends where it can no
    // longer be read, as MCI's play of it ends.
    if (got) {
        StretchPut(&p->stretch, p->scratch.data(), got);
    } else {
        StretchEnd(&p->stretch);
    }
}

// Fills and queues every free buffer; with the lock held.
void Refill(StretchPlayback *p) {
    const size_t frames = static_cast<size_t>(p->source.sampleRate) * kBufferMs / 1000;
    UnprepareDone(p);
    for (int i = 0; i < kBuffers; ++i) {
        WAVEHDR &h = p->headers[i];
        if (h.dwFlags & WHDR_PREPARED) continue;
        std::vector<int16_t> &pcm = p->pcm[i];
        pcm.resize(frames * static_cast<size_t>(p->source.channels));
        size_t got = 0;
        while (got < frames) {
            got += StretchTake(&p->stretch, pcm.data() + got * p->source.channels, frames - got);
            if (got == frames || StretchDone(&p->stretch)) break;
            Feed(p);
        }
        if (!got) return;
        h = WAVEHDR{};
        h.lpData = reinterpret_cast<LPSTR>(pcm.data());
        h.dwBufferLength = static_cast<DWORD>(got * static_cast<size_t>(BytesPerFrame(p)));
        waveOutPrepareHeader(p->wave, &h, sizeof h);
        waveOutWrite(p->wave, &h, sizeof h);
    }
}

void ResetOutput(StretchPlayback *p) {
    if (!p->wave) return;
    waveOutReset(p->wave);
    UnprepareDone(p);
    for (WAVEHDR &h : p->headers) h = WAVEHDR{};
}

// Stopped, standing at `frame`: the next play starts there.
void StopAt(StretchPlayback *p, int64_t frame) {
    ResetOutput(p);
    p->mode = MCI_MODE_STOP;
    p->heldFrame = frame;
    p->restartDue = true;
}

void CloseOutput(StretchPlayback *p) {
    ResetOutput(p);
    if (p->wave) waveOutClose(p->wave);
    p->wave = nullptr;
}

// Plays from source frame `frame`; with the lock held.
DWORD StartAt(StretchPlayback *p, int64_t frame) {
    if (!p->wave) {
        WAVEFORMATEX format =
            Pcm16Format(static_cast<DWORD>(p->source.sampleRate), static_cast<WORD>(p->source.channels));
        if (MMRESULT error = waveOutOpen(&p->wave, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(p->wake), 0,
                                         CALLBACK_EVENT)) {
            p->wave = nullptr;
            return error;
        }
    }
    ResetOutput(p);
    if (!PcmSeek(&p->source, frame)) return kReadFailed;
    StretchRestart(&p->stretch, frame);
    p->outputOrigin = OutputPosition(p);
    p->mode = MCI_MODE_PLAY;
    p->restartDue = false;
    // Held while the buffers are queued: waveOutWrite starts playing the
    // first block at once unless the device is paused, and it would run dry
    // before the rest came (a 30 ms hole at every start under Wine).
    waveOutPause(p->wave);
    Refill(p);
    if (MMRESULT error = waveOutRestart(p->wave)) {
        StopAt(p, frame);
        return error;
    }
    SetEvent(p->wake);
    return 0;
}

DWORD WINAPI PlaybackThread(void *parameter) {
    StretchPlayback *p = static_cast<StretchPlayback *>(parameter);
    while (!InterlockedCompareExchange(&p->quit, 0, 0)) {
        WaitForSingleObject(p->wake, kIdleWaitMs);
        bool ended = false;
        {
            Locked l(p);
            if (p->mode != MCI_MODE_PLAY || !p->wave) continue;
            Refill(p);
            bool busy = false;
            for (const WAVEHDR &h : p->headers) busy = busy || Queued(h);
            if (!busy && StretchDone(&p->stretch)) {
                StopAt(p, p->source.frames);
                ended = true;
            }
        }
        if (ended) PostMessageA(p->window, MM_MCINOTIFY, kEndFlags, p->session);
    }
    return 0;
}

bool Accepts(const PlayerState *state, const char *path) {
    char ext[16] = "";
    LoadStringA(state->hInstance, IDS_EXT_MP3, ext, sizeof ext);
    return lstrcmpiA(PathExtension(path), "wav") == 0 || lstrcmpiA(PathExtension(path), ext) == 0;
}

void Close(PlayerState *state) {
    StretchPlayback *p = state->stretchPlayback;
    if (!p) return;
    state->stretchPlayback = nullptr;
    if (p->thread) {
        InterlockedExchange(&p->quit, 1);
        SetEvent(p->wake);
        WaitForSingleObject(p->thread, kThreadEndMs);
        CloseHandle(p->thread);
    }
    CloseOutput(p);
    PcmClose(&p->source);
    if (p->wake) CloseHandle(p->wake);
    DeleteCriticalSection(&p->lock);
    delete p;
}

DWORD Open(HWND window, PlayerState *state, const char *path) {
    Close(state);
    StretchPlayback *p = new (std::nothrow) StretchPlayback;
    if (!p) return MCIERR_OUT_OF_MEMORY;
    InitializeCriticalSection(&p->lock);
    state->stretchPlayback = p;
    char mp3Ext[16] = "";
    LoadStringA(state->hInstance, IDS_EXT_MP3, mp3Ext, sizeof mp3Ext);
    p->window = window;
    p->session = InterlockedIncrement(&endSession);
    p->wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!p->wake || !PcmOpen(&p->source, path, lstrcmpiA(PathExtension(path), mp3Ext) == 0) ||
        !StretchStart(&p->stretch, p->source.sampleRate, p->source.channels, 0)) {
        Close(state);
        return MCIERR_UNSUPPORTED_FUNCTION;
    }
    StretchSetSpeed(&p->stretch, state->speed);
    p->thread = CreateThread(nullptr, 0, PlaybackThread, p, 0, nullptr);
    if (!p->thread) {
        Close(state);
        return MCIERR_OUT_OF_MEMORY;
    }
    SetThreadPriority(p->thread, THREAD_PRIORITY_HIGHEST);
    return 0;
}

DWORD Play(HWND, PlayerState *state, bool *playing) {
    StretchPlayback *p = state->stretchPlayback;
    Locked l(p);
    *playing = true;
    if (p->mode == MCI_MODE_PLAY) return 0;
    if (p->mode == MCI_MODE_PAUSE && !p->restartDue) {
        if (MMRESULT error = waveOutRestart(p->wave)) return error;
        p->mode = MCI_MODE_PLAY;
        SetEvent(p->wake);
        return 0;
    }
    const DWORD error = StartAt(p, p->heldFrame);
    *playing = !error;
    return error;
}

DWORD Pause(PlayerState *state) {
    StretchPlayback *p = state->stretchPlayback;
    Locked l(p);
    if (p->mode != MCI_MODE_PLAY) return 0;
    // Where the device stopped: read after the pause, so that the play on
    // goes on from the very frame the position says.
    if (MMRESULT error = waveOutPause(p->wave)) return error;
    p->heldFrame = HeardFrame(p);
    p->mode = MCI_MODE_PAUSE;
    return 0;
}

// Stands at `frame`: a playing file plays on from there.
DWORD SeekToFrame(StretchPlayback *p, int64_t frame) {
    Locked l(p);
    if (p->mode == MCI_MODE_PLAY) return StartAt(p, frame);
    StopAt(p, frame);
    return 0;
}

DWORD SeekTo(HWND, PlayerState *state, int position) {
    StretchPlayback *p = state->stretchPlayback;
    return SeekToFrame(p, static_cast<int64_t>(position) * p->source.sampleRate / 1000);
}

DWORD SeekToEdge(PlayerState *state, bool toEnd) {
    StretchPlayback *p = state->stretchPlayback;
    return SeekToFrame(p, toEnd ? p->source.frames : 0);
}

DWORD Length(const PlayerState *state, int *ms) {
    const StretchPlayback *p = state->stretchPlayback;
    *ms = static_cast<int>(p->source.frames * 1000 / p->source.sampleRate);
    return 0;
}

DWORD Position(const PlayerState *state, int *ms) {
    StretchPlayback *p = state->stretchPlayback;
    Locked l(p);
    *ms = static_cast<int>(HeardFrame(p) * 1000 / p->source.sampleRate);
    return 0;
}

// A file paused, or played to its end, answers as MCI's do.
DWORD Mode(const PlayerState *state, int *mode) {
    StretchPlayback *p = state->stretchPlayback;
    Locked l(p);
    *mode = p->mode;
    if (*mode == MCI_MODE_STOP && state->sessionState == StatePaused) *mode = MCI_MODE_PAUSE;
    return 0;
}

bool IsEnd(const PlayerState *state, WPARAM flags, LPARAM session) {
    return flags == kEndFlags && state->stretchPlayback && session == state->stretchPlayback->session;
}

void ErrorText(const PlayerState *, DWORD error, char *text) {
    text[0] = '\0';
    if (error < MCIERR_BASE) {
        waveOutGetErrorTextA(error, text, kPathSize);
    } else {
        mciGetErrorStringA(error, text, kPathSize);
    }
}

}  // namespace

void StretchBackendSetSpeed(PlayerState *state, int percent) {
    StretchPlayback *p = state->stretchPlayback;
    if (!p) return;
    Locked l(p);
    StretchSetSpeed(&p->stretch, percent);
}

const MediaBackend kStretchBackend = {
    Accepts, Open, Close, nullptr, Play, Pause, SeekTo, SeekToEdge,
    Length, Position, Mode, IsEnd, ErrorText,
};
