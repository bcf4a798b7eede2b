#include "mp3_stream.h"
#include "vbmp3.h"
#include "acm_entries.h"
#include "pcm_format.h"

namespace {

constexpr int kPrerollFrames = 4;     // decoded before a seek target to fill the bit reservoir
constexpr uint32_t kBatchFrames = 8;  // frames handed to the codec at once
constexpr uint32_t kSeekStep = 16;    // frames between two entries of the seek table
constexpr size_t kLongestFrame = 2882;  // free format at 640 kbit/s, 32 kHz, padded
constexpr size_t kWindowBytes = 64 * 1024;

// The bytes [offset, offset + length) of the audio data, or as many of them
// as the file still holds; `*available` says how many.
const uint8_t *Bytes(Mp3Stream *s, size_t offset, size_t length, size_t *available) {
    if (offset >= s->info.dataEnd) {
        *available = 0;
        return nullptr;
    }
    if (length > s->info.dataEnd - offset) length = s->info.dataEnd - offset;
    if (offset < s->windowStart || offset + length > s->windowStart + s->window.size()) {
        size_t want = length > kWindowBytes ? length : kWindowBytes;
        if (want > s->info.dataEnd - offset) want = s->info.dataEnd - offset;
        s->window.resize(want);
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        DWORD read = 0;
        if (!SetFilePointerEx(s->file, at, nullptr, FILE_BEGIN) ||
            !ReadFile(s->file, s->window.data(), static_cast<DWORD>(want), &read, nullptr))
            read = 0;
        s->window.resize(read);
        s->windowStart = offset;
    }
    const size_t held = s->windowStart + s->window.size() - offset;
    *available = held < length ? held : length;
    return s->window.data() + (offset - s->windowStart);
}

// Offset of the audio frame `index`, from the seek table and a walk of at
// most kSeekStep - 1 headers; dataEnd past the end.
size_t FrameAt(Mp3Stream *s, uint32_t index) {
    const size_t entry = index / kSeekStep;
    if (entry >= s->seekTable.size()) return s->info.dataEnd;
    size_t p = s->seekTable[entry];
    for (uint32_t i = entry * kSeekStep; i < index; ++i) {
        size_t available = 0;
        const uint8_t *h = Bytes(s, p, 4, &available);
        FrameHeader f;
        if (available < 4 || !ParseFrameHeader(h, s->info.dataEnd - p, &f, s->info.freeLength)) return s->info.dataEnd;
        p += size_t(f.length);
    }
    return p < s->info.dataEnd ? p : s->info.dataEnd;
}

// Every kSeekStep-th frame's offset, walked through the view of the whole
// file while the scan has it.
void BuildSeekTable(Mp3Stream *s, const uint8_t *data) {
    const StreamInfo &info = s->info;
    s->seekTable.reserve(info.frames / kSeekStep + 1);
    size_t p = info.firstFrame;
    for (uint32_t i = 0; i < info.frames && p + 4 <= info.dataEnd; ++i) {
        if (i % kSeekStep == 0) s->seekTable.push_back(static_cast<uint32_t>(p));
        FrameHeader f;
        if (!ParseFrameHeader(data + p, info.dataEnd - p, &f, info.freeLength)) break;
        p += size_t(f.length);
    }
}

void CloseAcm(Mp3Stream *s) {
    if (s->acm) BindAcm()->streamClose(s->acm, 0);
    s->acm = nullptr;
}

bool OpenAcm(Mp3Stream *s) {
    CloseAcm(s);
    const AcmEntries *acm = BindAcm();
    if (!acm) return false;
    const FrameHeader &h = s->info.header;
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
    WAVEFORMATEX target = Pcm16Format(static_cast<DWORD>(h.sampleRate), static_cast<WORD>(h.channels));
    return acm->streamOpen(&s->acm, nullptr, &source.wfx, &target, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) == 0;
}

}  // namespace

int Mp3StreamOpen(Mp3Stream *s, const char *path) {
    Mp3StreamClose(s);
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return ErrOpen;
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(handle, &size) || size.QuadPart == 0) {
        CloseHandle(handle);
        return ErrRead;
    }
    if (size.QuadPart > 0x40000000) {
        CloseHandle(handle);
        return ErrMemory;
    }
    s->file = handle;
    // The scan reads the file through a view, given up as soon as it is
    // done: the pages it brought in leave with it.
    HANDLE mapping = CreateFileMappingA(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const uint8_t *view = mapping ? static_cast<const uint8_t *>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) : nullptr;
    int error = !mapping ? ErrRead : !view ? ErrMemory : ScanStream(view, static_cast<size_t>(size.QuadPart), &s->info);
    if (!error) BuildSeekTable(s, view);
    if (view) UnmapViewOfFile(view);
    if (mapping) CloseHandle(mapping);
    if (error) Mp3StreamClose(s);
    return error;
}

void Mp3StreamClose(Mp3Stream *s) {
    CloseAcm(s);
    if (s->file != INVALID_HANDLE_VALUE) CloseHandle(s->file);
    *s = Mp3Stream{};
}

long long Mp3StreamSamples(const Mp3Stream *s) {
    return s->file != INVALID_HANDLE_VALUE ? static_cast<long long>(s->info.frames) * s->info.header.samplesPerFrame : 0;
}

bool Mp3StreamSeek(Mp3Stream *s, long long sample) {
    const int spf = s->info.header.samplesPerFrame;
    const uint32_t frame = static_cast<uint32_t>(sample / spf);
    const uint32_t from = frame > kPrerollFrames ? frame - kPrerollFrames : 0;
    if (!OpenAcm(s)) return false;
    s->nextFrame = from;
    s->nextOffset = FrameAt(s, from);
    s->dropBytes = (sample - static_cast<long long>(from) * spf) * Mp3StreamBlockAlign(s);
    s->endOfData = false;
    return true;
}

bool Mp3StreamDecode(Mp3Stream *s, std::vector<char> &out, size_t bytes) {
    const AcmEntries *acm = BindAcm();
    std::vector<char> decoded;
    while (out.size() < bytes && !s->endOfData) {
        size_t available = 0;
        const uint8_t *batch = Bytes(s, s->nextOffset, kBatchFrames * kLongestFrame, &available);
        const size_t batchEnd = s->nextOffset + available;
        size_t end = s->nextOffset;
        uint32_t frames = 0;
        while (frames < kBatchFrames && s->nextFrame + frames < s->info.frames && end + 4 <= batchEnd) {
            FrameHeader f;
            if (!ParseFrameHeader(batch + (end - s->nextOffset), batchEnd - end, &f, s->info.freeLength) ||
                end + size_t(f.length) > batchEnd)
                break;
            end += size_t(f.length);
            ++frames;
        }
        if (!frames) {
            s->endOfData = true;
            break;
        }
        const DWORD sourceBytes = static_cast<DWORD>(end - s->nextOffset);
        DWORD targetBytes = 0;
        acm->streamSize(s->acm, sourceBytes, &targetBytes, ACM_STREAMSIZEF_SOURCE);
        targetBytes += frames * 1152 * 4 + 8192;
        decoded.resize(targetBytes);
        DWORD used = 0;
        if (!AcmConvert(acm, s->acm, batch, sourceBytes, ACM_STREAMCONVERTF_BLOCKALIGN,
                        decoded.data(), targetBytes, &used))
            return false;
        s->nextOffset = end;
        s->nextFrame += frames;
        size_t from = 0;
        if (s->dropBytes > 0) {
            from = static_cast<size_t>(s->dropBytes < used ? s->dropBytes : used);
            s->dropBytes -= static_cast<long long>(from);
        }
        out.insert(out.end(), decoded.begin() + static_cast<long>(from), decoded.begin() + static_cast<long>(used));
    }
    return true;
}
