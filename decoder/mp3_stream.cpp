#include "mp3_stream.h"
#include "vbmp3.h"
#include "acm_entries.h"

namespace {

constexpr int kPrerollFrames = 4;     // decoded before a seek target to fill the bit reservoir
constexpr uint32_t kBatchFrames = 8;  // frames handed to the codec at once

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
    WAVEFORMATEX target = {};
    target.wFormatTag = WAVE_FORMAT_PCM;
    target.nChannels = static_cast<WORD>(h.channels);
    target.nSamplesPerSec = static_cast<DWORD>(h.sampleRate);
    target.wBitsPerSample = 16;
    target.nBlockAlign = static_cast<WORD>(h.channels * 2);
    target.nAvgBytesPerSec = target.nSamplesPerSec * target.nBlockAlign;
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
    s->mapping = CreateFileMappingA(handle, nullptr, PAGE_WRITECOPY, 0, 0, nullptr);
    CloseHandle(handle);  // the mapping keeps the file
    if (!s->mapping) return ErrRead;
    s->bytes = static_cast<uint8_t *>(MapViewOfFile(s->mapping, FILE_MAP_COPY, 0, 0, 0));
    s->size = static_cast<size_t>(size.QuadPart);
    if (!s->bytes) {
        Mp3StreamClose(s);
        return ErrMemory;  // no room for the view
    }
    if (const int error = ScanStream(s->bytes, s->size, &s->info)) {
        Mp3StreamClose(s);
        return error;
    }
    return 0;
}

void Mp3StreamClose(Mp3Stream *s) {
    CloseAcm(s);
    if (s->bytes) UnmapViewOfFile(s->bytes);
    if (s->mapping) CloseHandle(s->mapping);
    *s = Mp3Stream{};
}

long long Mp3StreamSamples(const Mp3Stream *s) {
    return s->bytes ? static_cast<long long>(s->info.frames) * s->info.header.samplesPerFrame : 0;
}

bool Mp3StreamSeek(Mp3Stream *s, long long sample) {
    const int spf = s->info.header.samplesPerFrame;
    const uint32_t frame = static_cast<uint32_t>(sample / spf);
    const uint32_t from = frame > kPrerollFrames ? frame - kPrerollFrames : 0;
    if (!OpenAcm(s)) return false;
    s->nextFrame = from;
    s->nextOffset = FrameOffset(s->bytes, s->info, from);
    s->dropBytes = (sample - static_cast<long long>(from) * spf) * Mp3StreamBlockAlign(s);
    s->endOfData = false;
    return true;
}

bool Mp3StreamDecode(Mp3Stream *s, std::vector<char> &out, size_t bytes) {
    const AcmEntries *acm = BindAcm();
    std::vector<char> decoded;
    while (out.size() < bytes && !s->endOfData) {
        size_t end = s->nextOffset;
        uint32_t frames = 0;
        while (frames < kBatchFrames && s->nextFrame + frames < s->info.frames && end + 4 <= s->info.dataEnd) {
            FrameHeader f;
            if (!ParseFrameHeader(s->bytes + end, s->info.dataEnd - end, &f, s->info.freeLength) ||
                end + size_t(f.length) > s->info.dataEnd)
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
        if (!AcmConvert(acm, s->acm, s->bytes + s->nextOffset, sourceBytes, ACM_STREAMCONVERTF_BLOCKALIGN,
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
