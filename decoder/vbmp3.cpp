// The decoder library: MP3 files decoded with the system's ACM MPEG Layer-3
// codec and played through waveOut on a thread of the library's own.
#include "vbmp3.h"
#include "mp3_stream.h"
#include "pcm_format.h"
#include <cstring>
#include <vector>

typedef void(CALLBACK *NotifyProc)(int code, int param);

namespace {

constexpr int kBuffers = 4;
constexpr int kBufferMs = 250;
constexpr int kEndOfPlay = 4;

struct Decoder {
    CRITICAL_SECTION lock;
    HANDLE wake = nullptr;           // commands and waveOut completions
    HANDLE thread = nullptr;
    volatile bool quit = false;
    bool ready = false;

    Mp3Stream stream;
    bool open = false;
    int state = 0;
    int lastError = 0;
    NotifyProc notify = nullptr;
    int pitch = 100, stepPitch = 0;

    HWAVEOUT wave = nullptr;
    WAVEHDR headers[kBuffers] = {};
    std::vector<char> pcm[kBuffers];
    long long streamBase = 0;        // sample index at the output position `outputOrigin`
    long long outputOrigin = 0;      // the device's position (samples) when streamBase was set
    long long pausedAt = 0;          // position while paused
    long long stoppedAt = 0;         // position while stopped
};

Decoder d;

int Fail(int error) {
    d.lastError = error;
    return FALSE;
}

long long TotalSamples() { return d.open ? Mp3StreamSamples(&d.stream) : 0; }
int BlockAlign() { return Mp3StreamBlockAlign(&d.stream); }

long long OutputPosition() {
    MMTIME time = {};
    time.wType = TIME_BYTES;
    if (!d.wave || waveOutGetPosition(d.wave, &time, sizeof time)) return 0;
    return time.wType == TIME_SAMPLES ? time.u.sample : time.u.cb / static_cast<DWORD>(BlockAlign());
}

// Positions decoding at `sample`; the output's position counts from here.
bool StartDecodingAt(long long sample) {
    if (!Mp3StreamSeek(&d.stream, sample)) return false;
    d.streamBase = sample;
    d.outputOrigin = OutputPosition();
    return true;
}

bool Queued(int i) { return (d.headers[i].dwFlags & WHDR_PREPARED) && !(d.headers[i].dwFlags & WHDR_DONE); }

void UnprepareDone() {
    for (int i = 0; i < kBuffers; ++i)
        if ((d.headers[i].dwFlags & WHDR_PREPARED) && (d.headers[i].dwFlags & WHDR_DONE))
            waveOutUnprepareHeader(d.wave, &d.headers[i], sizeof(WAVEHDR));
}

// Refills every free buffer; called with the lock held.
void Refill() {
    const size_t bytes = static_cast<size_t>(d.stream.info.header.sampleRate) * BlockAlign() * kBufferMs / 1000;
    UnprepareDone();
    for (int i = 0; i < kBuffers; ++i) {
        if (d.headers[i].dwFlags & WHDR_PREPARED) continue;
        d.pcm[i].clear();
        if (!Mp3StreamDecode(&d.stream, d.pcm[i], bytes)) {
            d.lastError = ErrDecode;
            d.stream.endOfData = true;
        }
        if (d.pcm[i].empty()) break;
        WAVEHDR &h = d.headers[i];
        memset(&h, 0, sizeof h);
        h.lpData = d.pcm[i].data();
        h.dwBufferLength = static_cast<DWORD>(d.pcm[i].size());
        waveOutPrepareHeader(d.wave, &h, sizeof h);
        waveOutWrite(d.wave, &h, sizeof h);
    }
}

void ResetOutput() {
    if (!d.wave) return;
    waveOutReset(d.wave);
    UnprepareDone();
    for (WAVEHDR &h : d.headers) memset(&h, 0, sizeof h);
}

void CloseOutput() {
    ResetOutput();
    if (d.wave) waveOutClose(d.wave);
    d.wave = nullptr;
}

long long CurrentSample() {
    if (d.state == 0) return d.stoppedAt;
    if (d.state == 2) return d.pausedAt;
    long long p = d.streamBase + OutputPosition() - d.outputOrigin;
    if (p < d.streamBase) p = d.streamBase;
    const long long total = TotalSamples();
    return p < total ? p : (total > 0 ? total - 1 : 0);
}

DWORD WINAPI PlaybackThread(void *) {
    while (!d.quit) {
        // Without output nothing is due: sleep until output starts or the
        // library is freed (both set the event); with output, the device's
        // buffer events wake it, and the time-out is a safety net.
        WaitForSingleObject(d.wake, d.wave ? 100 : INFINITE);
        NotifyProc ended = nullptr;
        EnterCriticalSection(&d.lock);
        if (d.wave && (d.state == 1 || d.state == 2)) {
            Refill();
            bool busy = false;
            for (int i = 0; i < kBuffers; ++i) busy = busy || Queued(i);
            if (!busy && d.stream.endOfData && d.state == 1) {
                CloseOutput();
                d.state = 0;
                d.stoppedAt = 0;
                ended = d.notify;
            }
        }
        LeaveCriticalSection(&d.lock);
        if (ended) ended(kEndOfPlay, 0);
    }
    return 0;
}

struct Locked {
    Locked() { EnterCriticalSection(&d.lock); }
    ~Locked() { LeaveCriticalSection(&d.lock); }
};

// Starts output at `sample`; with the lock held.
int StartAt(long long sample) {
    if (!d.thread) {
        d.thread = CreateThread(nullptr, 0, PlaybackThread, nullptr, 0, nullptr);
        if (!d.thread) return Fail(ErrMemory);
    }
    if (!d.wave) {
        WAVEFORMATEX format = Pcm16Format(static_cast<DWORD>(d.stream.info.header.sampleRate),
                                          static_cast<WORD>(d.stream.info.header.channels));
        if (waveOutOpen(&d.wave, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(d.wake), 0, CALLBACK_EVENT))
            return d.wave = nullptr, Fail(ErrOutputDevice);
    }
    if (!StartDecodingAt(sample)) {
        CloseOutput();
        return Fail(ErrDecodeSetup);
    }
    Refill();
    SetEvent(d.wake);
    return TRUE;
}

void CloseFile() {
    CloseOutput();
    Mp3StreamClose(&d.stream);
    d.open = false;
    d.state = 0;
    d.stoppedAt = 0;
}

}  // namespace

extern "C" {

BOOL WINAPI vbmp3_init() {
    if (d.ready) return TRUE;
    InitializeCriticalSection(&d.lock);
    d.wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    d.quit = false;
    d.thread = nullptr;  // started with the first output
    d.ready = d.wake != nullptr;
    return d.ready ? TRUE : Fail(ErrMemory);
}

BOOL WINAPI vbmp3_free() {
    if (!d.ready) return TRUE;
    {
        Locked l;
        CloseFile();
    }
    d.quit = true;
    SetEvent(d.wake);
    if (d.thread) {
        WaitForSingleObject(d.thread, 5000);
        CloseHandle(d.thread);
        d.thread = nullptr;
    }
    CloseHandle(d.wake);
    DeleteCriticalSection(&d.lock);
    d.ready = false;
    return TRUE;
}

BOOL WINAPI vbmp3_open(const char *path, void *infoBlock) {
    if (!d.ready && !vbmp3_init()) return FALSE;
    Locked l;
    CloseFile();
    if (!path || !infoBlock) return Fail(ErrValue);
    if (const int error = Mp3StreamOpen(&d.stream, path)) return Fail(error);
    d.open = true;
    int *info = static_cast<int *>(infoBlock);
    memset(info, 0, kInfoSize);
    const FrameHeader &h = d.stream.info.header;
    info[0] = h.version;
    info[1] = 3;
    info[2] = h.bitrate;
    info[3] = h.channels;
    info[4] = static_cast<int>(d.stream.info.frames);
    info[5] = static_cast<int>(TotalSamples());
    info[6] = h.samplesPerFrame;
    info[7] = d.stream.info.vbrHeader ? 1 : 0;
    info[264 / 4] = h.sampleRate;
    return TRUE;
}

void WINAPI vbmp3_close() {
    if (!d.ready) return;
    Locked l;
    CloseFile();
}

int WINAPI vbmp3_getState(int *detail) {
    if (!d.ready) return 0;
    Locked l;
    if (detail) *detail = d.state;
    return d.state;
}

BOOL WINAPI vbmp3_play() {
    if (!d.ready) return Fail(ErrNotOpen);
    Locked l;
    if (!d.open) return Fail(ErrNotOpen);
    if (d.state != 0) return Fail(ErrNotStopped);
    if (!StartAt(d.stoppedAt)) return FALSE;
    d.state = 1;
    return TRUE;
}

BOOL WINAPI vbmp3_stop() {
    if (!d.ready) return Fail(ErrNotOpen);
    Locked l;
    if (!d.open) return Fail(ErrNotOpen);
    CloseOutput();
    d.state = 0;
    d.stoppedAt = 0;
    return TRUE;
}

BOOL WINAPI vbmp3_pause() {
    if (!d.ready) return Fail(ErrNotOpen);
    Locked l;
    if (!d.open) return Fail(ErrNotOpen);
    if (d.state == 2) return TRUE;
    if (d.state != 1) return Fail(ErrNotPlaying);
    d.pausedAt = CurrentSample();
    if (waveOutPause(d.wave)) return Fail(ErrPlay);
    d.state = 2;
    return TRUE;
}

BOOL WINAPI vbmp3_restart() {
    if (!d.ready) return Fail(ErrNotOpen);
    Locked l;
    if (!d.open) return Fail(ErrNotOpen);
    if (d.state != 2) return Fail(ErrNotPlaying);
    if (waveOutRestart(d.wave)) return Fail(ErrPlay);
    d.streamBase = d.pausedAt;
    d.outputOrigin = OutputPosition();
    d.state = 1;
    SetEvent(d.wake);
    return TRUE;
}

BOOL WINAPI vbmp3_setPlaySamples(int sample) {
    if (!d.ready) return Fail(ErrNotOpen);
    Locked l;
    if (!d.open) return Fail(ErrNotOpen);
    if (sample < 0 || sample >= TotalSamples()) return Fail(ErrValue);
    if (d.state == 0) {
        d.stoppedAt = sample;
        return TRUE;
    }
    ResetOutput();
    if (d.state == 2) waveOutPause(d.wave);
    if (!StartDecodingAt(sample)) return Fail(ErrDecodeSetup);
    d.pausedAt = sample;
    Refill();
    return TRUE;
}

BOOL WINAPI vbmp3_seek(int milliseconds) {
    if (!d.open) return Fail(ErrNotOpen);
    return vbmp3_setPlaySamples(MulDiv(milliseconds, d.stream.info.header.sampleRate, 1000));
}

BOOL WINAPI vbmp3_setStepPitch(int value) { d.stepPitch = value; return TRUE; }
int WINAPI vbmp3_getStepPitch() { return d.stepPitch; }
BOOL WINAPI vbmp3_setPitch(int value) {
    if (value <= 0) return Fail(ErrValue);
    d.pitch = value;
    return TRUE;
}
int WINAPI vbmp3_getPitch() { return d.pitch; }

int WINAPI vbmp3_getPlaySamples() {
    if (!d.ready) return 0;
    Locked l;
    return d.open ? static_cast<int>(CurrentSample()) : 0;
}

int WINAPI vbmp3_getTotalSamples() {
    if (!d.ready) return 0;
    Locked l;
    return static_cast<int>(TotalSamples());
}

int WINAPI vbmp3_getPlayFlames() {
    const int spf = d.open ? d.stream.info.header.samplesPerFrame : 0;
    return spf ? vbmp3_getPlaySamples() / spf : 0;
}

BOOL WINAPI vbmp3_setPlayFlames(int frame) {
    if (!d.open) return Fail(ErrNotOpen);
    return vbmp3_setPlaySamples(frame * d.stream.info.header.samplesPerFrame);
}

BOOL WINAPI vbmp3_callback(NotifyProc proc) {
    if (!d.ready) return Fail(ErrNotOpen);
    Locked l;
    d.notify = proc;
    return TRUE;
}

int WINAPI vbmp3_getLastErrorNo() { return d.lastError; }
int WINAPI vbmp3_getFileType() { return d.open ? 1 : 0; }

BOOL WINAPI vbmp3_getMpegInfo(void *block) {
    if (!d.open || !block) return Fail(d.open ? ErrValue : ErrNotOpen);
    int *info = static_cast<int *>(block);
    memset(info, 0, kMpegInfoSize);
    const FrameHeader &h = d.stream.info.header;
    const int values[8] = {h.version, 3, h.bitrate, h.channels, static_cast<int>(d.stream.info.frames),
                           static_cast<int>(TotalSamples()), h.samplesPerFrame, d.stream.info.vbrHeader ? 1 : 0};
    memcpy(info, values, sizeof values);
    return TRUE;
}

int WINAPI vbmp3_getVersion() { return kVbmp3Version; }

}  // extern "C"
