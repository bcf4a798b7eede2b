#include "mp3_frames.h"
#include <cstring>

namespace {

constexpr int kBitrates[2][16] = {
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},  // MPEG-1
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},      // MPEG-2 and 2.5
};
constexpr int kRates[3] = {44100, 48000, 32000};

uint32_t Be32(const uint8_t *p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }

bool SameStream(const FrameHeader &a, const FrameHeader &b) {
    return a.version == b.version && a.sampleRate == b.sampleRate;
}

// The frame count of a Xing/Info or VBRI header inside the first frame, or 0.
uint32_t VbrFrames(const uint8_t *frame, const FrameHeader &h) {
    const int side = h.version == 1 ? (h.channels == 2 ? 32 : 17) : (h.channels == 2 ? 17 : 9);
    const uint8_t *x = frame + 4 + side;
    if (4 + side + 12 <= h.length && (memcmp(x, "Xing", 4) == 0 || memcmp(x, "Info", 4) == 0)) {
        if (Be32(x + 4) & 1) return Be32(x + 8);
    }
    const uint8_t *v = frame + 36;
    if (36 + 18 <= h.length && memcmp(v, "VBRI", 4) == 0) return Be32(v + 14);
    return 0;
}

// Sync, version, layer and sample rate of a Layer III header; the bit-rate
// index is left to the caller.
bool LayerThreeFields(const uint8_t *p) {
    return p[0] == 0xFF && (p[1] & 0xE0) == 0xE0 && ((p[1] >> 3) & 3) != 1 && ((p[1] >> 1) & 3) == 1 &&
           ((p[2] >> 2) & 3) != 3;
}

constexpr size_t kFreeFormatMaxLength = 4096;  // above any legal free-format frame

// True when the bytes at q could be a header of the free-format stream of p.
bool SameFreeHeader(const uint8_t *p, const uint8_t *q) {
    return q[0] == 0xFF && q[1] == p[1] && (q[2] & 0xFC) == (p[2] & 0xFC) && (q[3] & 0xC0) == (p[3] & 0xC0);
}

constexpr int kFreeFormatConfirmations = 3;

// For a free-format header at `at`: the frame length without padding, taken
// from where the next header of the same stream starts, when the frames after
// it (as many as the data holds, up to three) start where that length puts
// them; 0 when none follows.
int FreeFormatLength(const uint8_t *data, size_t at, size_t end) {
    const uint8_t *p = data + at;
    // Only a header the stream could start with is measured: the search is
    // long, and garbage full of 0xFF bytes must not make it at every one.
    if (end - at < 4 || (p[2] >> 4) != 0 || !LayerThreeFields(p)) return 0;
    const size_t padding = (p[2] >> 1) & 1;
    const size_t last = end - at > kFreeFormatMaxLength ? at + kFreeFormatMaxLength : end;
    for (size_t next = at + 24; next + 4 <= last; ++next) {
        if (!SameFreeHeader(p, data + next)) continue;
        const size_t length = next - at - padding;
        bool confirmed = true;
        size_t frame = next;
        for (int i = 0; i < kFreeFormatConfirmations && confirmed; ++i) {
            frame += length + ((data[frame + 2] >> 1) & 1);
            if (frame + 4 > end) break;
            confirmed = SameFreeHeader(p, data + frame);
        }
        if (confirmed) return static_cast<int>(length);
    }
    return 0;
}

}  // namespace

bool ParseFrameHeader(const uint8_t *p, size_t available, FrameHeader *out, int freeLength) {
    if (available < 4 || !LayerThreeFields(p)) return false;
    const int versionBits = (p[1] >> 3) & 3;  // 0: 2.5, 2: 2, 3: 1
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    if (bitrateIndex == 15) return false;
    if (bitrateIndex == 0 && freeLength <= 0) return false;
    FrameHeader h;
    h.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    h.sampleRate = kRates[rateIndex] / (h.version == 1 ? 1 : h.version == 2 ? 2 : 4);
    h.padding = (p[2] >> 1) & 1;
    h.channels = (p[3] >> 6) == 3 ? 1 : 2;
    h.samplesPerFrame = h.version == 1 ? 1152 : 576;
    if (bitrateIndex) {
        h.bitrate = kBitrates[h.version == 1 ? 0 : 1][bitrateIndex] * 1000;
        h.length = (h.samplesPerFrame / 8) * h.bitrate / h.sampleRate + h.padding;
    } else {
        h.bitrate = freeLength * h.sampleRate / (h.samplesPerFrame / 8);
        h.length = freeLength + h.padding;
    }
    if (h.length < 24) return false;
    *out = h;
    return true;
}

constexpr size_t kSyncSearchBytes = 1 << 20;

int ScanStream(const uint8_t *data, size_t size, StreamInfo *out) {
    out->freeLength = 0;
    if (size == 0) return 3;  // read failed: nothing to read
    size_t start = 0;
    // ID3v2 tags at the front (possibly several), sizes clamped to the file.
    while (start + 10 <= size && memcmp(data + start, "ID3", 3) == 0) {
        const uint8_t *s = data + start + 6;
        size_t tag = (size_t(s[0] & 0x7F) << 21) | (size_t(s[1] & 0x7F) << 14) | (size_t(s[2] & 0x7F) << 7) | (s[3] & 0x7F);
        tag += 10 + ((data[start + 5] & 0x10) ? 10 : 0);
        if (tag > size - start) return 10;  // the tag claims more than the file holds
        start += tag;
    }
    size_t end = size;
    if (end >= 128 && memcmp(data + end - 128, "TAG", 3) == 0) end -= 128;
    if (end >= 32 && memcmp(data + end - 32, "APETAGEX", 8) == 0) {
        const uint32_t apeSize = data[end - 20] | (data[end - 19] << 8) | (data[end - 18] << 16) | (uint32_t(data[end - 17]) << 24);
        end = apeSize + 32 <= end ? end - apeSize - 32 : end;
    }
    // The first header that the next one confirms, within the first MiB
    // after the tags (a longer search would read a whole non-audio file).
    const size_t searchEnd = end - start > kSyncSearchBytes ? start + kSyncSearchBytes : end;
    for (size_t at = start; at + 4 <= searchEnd; ++at) {
        FrameHeader h, next;
        const int freeLength = FreeFormatLength(data, at, end);
        if (!ParseFrameHeader(data + at, end - at, &h, freeLength)) continue;
        const size_t following = at + size_t(h.length);
        if (following + 4 <= end) {
            if (!ParseFrameHeader(data + following, end - following, &next, freeLength) || !SameStream(h, next)) continue;
        } else if (following > end) {
            continue;
        }
        out->freeLength = freeLength;
        out->header = h;
        out->dataEnd = end;
        const uint32_t vbr = VbrFrames(data + at, h);
        out->firstFrame = vbr ? following : at;  // the VBR header frame carries no audio
        // A header whose count cannot fit in the bytes that follow (even at
        // the stream's lowest bit rate) is not believed: the frames are counted.
        const uint64_t smallest = uint64_t(h.samplesPerFrame / 8) * (h.version == 1 ? 32000 : 8000) / h.sampleRate;
        out->vbrHeader = vbr != 0 && uint64_t(vbr) * smallest <= end - out->firstFrame;
        if (out->vbrHeader) {
            out->frames = vbr;
        } else {
            uint32_t frames = 0;
            for (size_t p = out->firstFrame; p + 4 <= end;) {
                FrameHeader f;
                if (!ParseFrameHeader(data + p, end - p, &f, freeLength) || !SameStream(f, h) || p + size_t(f.length) > end) break;
                p += size_t(f.length);
                ++frames;
            }
            out->frames = frames;
        }
        return out->frames ? 0 : 10;
    }
    return start > 0 || end < size ? 10 : 22;
}

size_t FrameOffset(const uint8_t *data, const StreamInfo &info, uint32_t index) {
    size_t p = info.firstFrame;
    for (uint32_t i = 0; i < index && p + 4 <= info.dataEnd; ++i) {
        FrameHeader f;
        if (!ParseFrameHeader(data + p, info.dataEnd - p, &f, info.freeLength)) return info.dataEnd;
        p += size_t(f.length);
    }
    return p < info.dataEnd ? p : info.dataEnd;
}
