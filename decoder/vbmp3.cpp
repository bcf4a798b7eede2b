// The decoder library: MP3 files decoded with the system's ACM MPEG Layer-3
// codec and played through waveOut on a thread of the library's own.
#include "vbmp3.h"
#include "mp3_frames.h"
#include "host_system.h"
#include <mmreg.h>
#include <msacm.h>
#include <cstring>
#include <vector>

typedef void(CALLBACK *NotifyProc)(int code, int param);

namespace {

constexpr int kBuffers = 4;
constexpr int kBufferMs = 250;
constexpr int kPrerollFrames = 4;   // decoded before a seek target to fill the bit reservoir
constexpr int kEndOfPlay = 4;

// The opened file, mapped copy-on-write rather than read into memory: no
// large allocation that could fail, and pages come in as the stream is read.
struct FileView {
    HANDLE mapping = nullptr;
    uint8_t *bytes = nullptr;
    size_t size = 0;
    uint8_t *data() const { return bytes; }
};

struct Decoder {
    CRITICAL_SECTION lock;
    HANDLE wake = nullptr;           // commands and waveOut completions
    HANDLE thread = nullptr;
    volatile bool quit = false;
    bool ready = false;

    FileView file;
    StreamInfo info = {};
    bool open = false;
    int state = 0;
    int lastError = 0;
    NotifyProc notify = nullptr;
    int pitch = 100, stepPitch = 0;

    HWAVEOUT wave = nullptr;
    HACMSTREAM acm = nullptr;
    WAVEHDR headers[kBuffers] = {};
    std::vector<char> pcm[kBuffers];
    size_t nextOffset = 0;           // next frame to decode
    uint32_t nextFrame = 0;
    long long streamBase = 0;        // sample index at the output position `outputOrigin`
    long long outputOrigin = 0;      // the device's position (samples) when streamBase was set
    long long pausedAt = 0;          // position while paused
    long long dropBytes = 0;         // decoded bytes still to drop after a seek
    long long stoppedAt = 0;         // position while stopped
    bool endOfData = false;
};

Decoder d;

// The ACM entry points, bound when the first stream is opened: a player that
// never plays an MP3 never loads the codec manager.
struct AcmEntries {
    decltype(&acmStreamOpen) streamOpen;
    decltype(&acmStreamClose) streamClose;
    decltype(&acmStreamSize) streamSize;
    decltype(&acmStreamPrepareHeader) prepareHeader;
    decltype(&acmStreamConvert) convert;
    decltype(&acmStreamUnprepareHeader) unprepareHeader;
};
AcmEntries acm = {};

template <typename Entry>
bool BindEntry(HMODULE module, const char *name, Entry *entry) {
    *entry = reinterpret_cast<Entry>(reinterpret_cast<void *>(GetProcAddress(module, name)));
    return *entry != nullptr;
}

bool BindAcm() {
    if (acm.unprepareHeader) return true;
    HMODULE module = LoadSystemLibrary("msacm32.dll");  // kept for the process's life
    AcmEntries entries = {};
    if (!module || !BindEntry(module, "acmStreamOpen", &entries.streamOpen) ||
        !BindEntry(module, "acmStreamClose", &entries.streamClose) ||
        !BindEntry(module, "acmStreamSize", &entries.streamSize) ||
        !BindEntry(module, "acmStreamPrepareHeader", &entries.prepareHeader) ||
        !BindEntry(module, "acmStreamConvert", &entries.convert) ||
        !BindEntry(module, "acmStreamUnprepareHeader", &entries.unprepareHeader))
        return false;
    acm = entries;
    return true;
}

int Fail(int error) {
    d.lastError = error;
    return FALSE;
}

long long TotalSamples() { return d.open ? static_cast<long long>(d.info.frames) * d.info.header.samplesPerFrame : 0; }
int BlockAlign() { return d.info.header.channels * 2; }

void CloseAcm() {
    if (d.acm) acm.streamClose(d.acm, 0);
    d.acm = nullptr;
}

bool OpenAcm() {
    CloseAcm();
    if (!BindAcm()) return false;
    const FrameHeader &h = d.info.header;
    MPEGLAYER3WAVEFORMAT source = {};
    source.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    source.wfx.nChannels = static_cast<WORD>(h.channels);
    source.wfx.nSamplesPerSec = static_cast<DWORD>(h.sampleRate);
    source.wfx.nAvgBytesPerSec = static_cast<DWORD>(h.bitrate / 8);
    source.wfx.nBlockAlign = 1;
    source.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    source.wID = MPEGLAYER3_ID_MPEG;
    source.fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
    source.nBlockSize = static_cast<WORD>(h.length);
    source.nFramesPerBlock = 1;
    source.nCodecDelay = 1393;
    WAVEFORMATEX target = {};
    target.wFormatTag = WAVE_FORMAT_PCM;
    target.nChannels = static_cast<WORD>(h.channels);
    target.nSamplesPerSec = static_cast<DWORD>(h.sampleRate);
    target.wBitsPerSample = 16;
    target.nBlockAlign = static_cast<WORD>(BlockAlign());
    target.nAvgBytesPerSec = target.nSamplesPerSec * target.nBlockAlign;
    return acm.streamOpen(&d.acm, nullptr, &source.wfx, &target, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) == 0;
}

// Decodes whole frames into out until it holds `bytes`; false on a decode failure.
bool Decode(std::vector<char> &out, size_t bytes) {
    while (out.size() < bytes && !d.endOfData) {
        // A batch of up to 8 frames.
        size_t end = d.nextOffset;
        uint32_t frames = 0;
        while (frames < 8 && d.nextFrame + frames < d.info.frames && end + 4 <= d.info.dataEnd) {
            FrameHeader f;
            if (!ParseFrameHeader(d.file.data() + end, d.info.dataEnd - end, &f, d.info.freeLength) || end + size_t(f.length) > d.info.dataEnd) break;
            end += size_t(f.length);
            ++frames;
        }
        if (!frames) {
            d.endOfData = true;
            break;
        }
        const DWORD sourceBytes = static_cast<DWORD>(end - d.nextOffset);
        DWORD targetBytes = 0;
        acm.streamSize(d.acm, sourceBytes, &targetBytes, ACM_STREAMSIZEF_SOURCE);
        targetBytes += frames * 1152 * 4 + 8192;
        std::vector<char> decoded(targetBytes);
        ACMSTREAMHEADER header = {};
        header.cbStruct = sizeof header;
        header.pbSrc = d.file.data() + d.nextOffset;
        header.cbSrcLength = sourceBytes;
        header.pbDst = reinterpret_cast<LPBYTE>(decoded.data());
        header.cbDstLength = targetBytes;
        if (acm.prepareHeader(d.acm, &header, 0)) return false;
        const MMRESULT result = acm.convert(d.acm, &header, ACM_STREAMCONVERTF_BLOCKALIGN);
        const DWORD used = header.cbDstLengthUsed;
        acm.unprepareHeader(d.acm, &header, 0);
        if (result) return false;
        d.nextOffset = end;
        d.nextFrame += frames;
        size_t from = 0;
        if (d.dropBytes > 0) {
            from = static_cast<size_t>(d.dropBytes < used ? d.dropBytes : used);
            d.dropBytes -= static_cast<long long>(from);
        }
        out.insert(out.end(), decoded.begin() + static_cast<long>(from), decoded.begin() + static_cast<long>(used));
    }
    return true;
}

long long OutputPosition() {
    MMTIME time = {};
    time.wType = TIME_BYTES;
    if (!d.wave || waveOutGetPosition(d.wave, &time, sizeof time)) return 0;
    return time.wType == TIME_SAMPLES ? time.u.sample : time.u.cb / static_cast<DWORD>(BlockAlign());
}

// Positions decoding at `sample`, a few frames early, dropping the extra output.
bool StartDecodingAt(long long sample) {
    const int spf = d.info.header.samplesPerFrame;
    const uint32_t frame = static_cast<uint32_t>(sample / spf);
    const uint32_t from = frame > kPrerollFrames ? frame - kPrerollFrames : 0;
    if (!OpenAcm()) return false;
    d.nextFrame = from;
    d.nextOffset = FrameOffset(d.file.data(), d.info, from);
    d.dropBytes = (sample - static_cast<long long>(from) * spf) * BlockAlign();
    d.streamBase = sample;
    d.outputOrigin = OutputPosition();
    d.endOfData = false;
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
    const size_t bytes = static_cast<size_t>(d.info.header.sampleRate) * BlockAlign() * kBufferMs / 1000;
    UnprepareDone();
    for (int i = 0; i < kBuffers; ++i) {
        if (d.headers[i].dwFlags & WHDR_PREPARED) continue;
        d.pcm[i].clear();
        if (!Decode(d.pcm[i], bytes)) {
            d.lastError = ErrDecode;
            d.endOfData = true;
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
            if (!busy && d.endOfData && d.state == 1) {
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
        WAVEFORMATEX format = {};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = static_cast<WORD>(d.info.header.channels);
        format.nSamplesPerSec = static_cast<DWORD>(d.info.header.sampleRate);
        format.wBitsPerSample = 16;
        format.nBlockAlign = static_cast<WORD>(BlockAlign());
        format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
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
    CloseAcm();
    if (d.file.bytes) UnmapViewOfFile(d.file.bytes);
    if (d.file.mapping) CloseHandle(d.file.mapping);
    d.file = FileView{};
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
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return Fail(ErrOpen);
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(handle, &size) || size.QuadPart == 0) {
        CloseHandle(handle);
        return Fail(ErrRead);
    }
    if (size.QuadPart > 0x40000000) {
        CloseHandle(handle);
        return Fail(ErrMemory);
    }
    d.file.mapping = CreateFileMappingA(handle, nullptr, PAGE_WRITECOPY, 0, 0, nullptr);
    CloseHandle(handle);  // the mapping keeps the file
    if (!d.file.mapping) return Fail(ErrRead);
    d.file.bytes = static_cast<uint8_t *>(MapViewOfFile(d.file.mapping, FILE_MAP_COPY, 0, 0, 0));
    d.file.size = static_cast<size_t>(size.QuadPart);
    if (!d.file.bytes) {
        CloseFile();
        return Fail(ErrMemory);  // no room for the view
    }
    const int error = ScanStream(d.file.data(), d.file.size, &d.info);
    if (error) {
        CloseFile();
        return Fail(error);
    }
    d.open = true;
    int *info = static_cast<int *>(infoBlock);
    memset(info, 0, kInfoSize);
    const FrameHeader &h = d.info.header;
    info[0] = h.version;
    info[1] = 3;
    info[2] = h.bitrate;
    info[3] = h.channels;
    info[4] = static_cast<int>(d.info.frames);
    info[5] = static_cast<int>(TotalSamples());
    info[6] = h.samplesPerFrame;
    info[7] = d.info.vbrHeader ? 1 : 0;
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
    return vbmp3_setPlaySamples(MulDiv(milliseconds, d.info.header.sampleRate, 1000));
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
    const int spf = d.open ? d.info.header.samplesPerFrame : 0;
    return spf ? vbmp3_getPlaySamples() / spf : 0;
}

BOOL WINAPI vbmp3_setPlayFlames(int frame) {
    if (!d.open) return Fail(ErrNotOpen);
    return vbmp3_setPlaySamples(frame * d.info.header.samplesPerFrame);
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
    const FrameHeader &h = d.info.header;
    const int values[8] = {h.version, 3, h.bitrate, h.channels, static_cast<int>(d.info.frames),
                           static_cast<int>(TotalSamples()), h.samplesPerFrame, d.info.vbrHeader ? 1 : 0};
    memcpy(info, values, sizeof values);
    return TRUE;
}

int WINAPI vbmp3_getVersion() { return kVbmp3Version; }

}  // extern "C"
