#include "media/pcm_source.h"
#include "acm_entries.h"
#include "pcm_format.h"
#include <mmreg.h>

namespace {

constexpr size_t kBatchFrames = 4096;  // decoded at a time
constexpr DWORD kLargestFormat = 4096;  // a format chunk beyond this is no format

int BytesPerFrame(const PcmSource *s) { return s->channels * 2; }
const WAVEFORMATEX *Format(const PcmSource *s) { return reinterpret_cast<const WAVEFORMATEX *>(s->format.data()); }
bool IsPlainPcm(const PcmSource *s) { return !s->acm; }

void CloseWave(PcmSource *s) {
    if (s->acm) BindAcm()->streamClose(s->acm, 0);
    if (s->file) mmioClose(s->file, 0);
}

// The format, the data chunk and, for a compressed file, the frames its
// fact chunk gives (0 when it has none).
bool ReadChunks(PcmSource *s, DWORD *factFrames) {
    MMCKINFO riff = {};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioDescend(s->file, &riff, nullptr, MMIO_FINDRIFF)) return false;
    MMCKINFO chunk = {};
    chunk.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (mmioDescend(s->file, &chunk, &riff, MMIO_FINDCHUNK)) return false;
    if (chunk.cksize < 16 || chunk.cksize > kLargestFormat) return false;
    s->format.assign(chunk.cksize < sizeof(WAVEFORMATEX) ? sizeof(WAVEFORMATEX) : chunk.cksize, 0);
    if (mmioRead(s->file, reinterpret_cast<HPSTR>(s->format.data()), static_cast<LONG>(chunk.cksize)) !=
        static_cast<LONG>(chunk.cksize))
        return false;
    if (chunk.cksize < sizeof(WAVEFORMATEX)) reinterpret_cast<WAVEFORMATEX *>(s->format.data())->cbSize = 0;
    mmioAscend(s->file, &chunk, 0);
    const LONG afterFormat = mmioSeek(s->file, 0, SEEK_CUR);
    MMCKINFO fact = {};
    fact.ckid = mmioFOURCC('f', 'a', 'c', 't');
    *factFrames = 0;
    if (!mmioDescend(s->file, &fact, &riff, MMIO_FINDCHUNK) && fact.cksize >= 4)
        mmioRead(s->file, reinterpret_cast<HPSTR>(factFrames), 4);
    mmioSeek(s->file, afterFormat, SEEK_SET);
    chunk = {};
    chunk.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioDescend(s->file, &chunk, &riff, MMIO_FINDCHUNK)) return false;
    s->dataStart = static_cast<LONG>(chunk.dwDataOffset);
    // A data chunk that claims more than the file holds ends with the file.
    const LONG fileEnd = mmioSeek(s->file, 0, SEEK_END);
    const DWORD there = fileEnd > s->dataStart ? static_cast<DWORD>(fileEnd - s->dataStart) : 0;
    s->dataBytes = chunk.cksize < there ? chunk.cksize : there;
    return true;
}

// 8- or 16-bit PCM is read as it is; anything else goes through ACM to
// 16-bit PCM at the same rate.
bool ChooseConversion(PcmSource *s) {
    const WAVEFORMATEX *f = Format(s);
    if (!f->nChannels || !f->nSamplesPerSec || !f->nBlockAlign) return false;
    s->sampleRate = static_cast<int>(f->nSamplesPerSec);
    s->channels = f->nChannels;
    s->sourceBlock = f->nBlockAlign;
    if (f->wFormatTag == WAVE_FORMAT_PCM && (f->wBitsPerSample == 8 || f->wBitsPerSample == 16)) {
        if (f->nBlockAlign != f->nChannels * f->wBitsPerSample / 8) return false;
        s->framesPerBlock = 1;
        return true;
    }
    const AcmEntries *acm = BindAcm();
    if (!acm) return false;
    WAVEFORMATEX target = Pcm16Format(f->nSamplesPerSec, f->nChannels);
    WAVEFORMATEX *source = reinterpret_cast<WAVEFORMATEX *>(s->format.data());
    if (acm->streamOpen(&s->acm, nullptr, source, &target, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME)) {
        // The codec may give PCM only with other channels: let it say which.
        target = {};
        target.wFormatTag = WAVE_FORMAT_PCM;
        target.wBitsPerSample = 16;
        target.nSamplesPerSec = f->nSamplesPerSec;
        if (acm->formatSuggest(nullptr, source, &target, sizeof target,
                               ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_WBITSPERSAMPLE |
                                   ACM_FORMATSUGGESTF_NSAMPLESPERSEC) ||
            acm->streamOpen(&s->acm, nullptr, source, &target, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME)) {
            s->acm = nullptr;
            return false;
        }
        s->channels = target.nChannels;
    }
    DWORD blockOut = 0;
    if (acm->streamSize(s->acm, s->sourceBlock, &blockOut, ACM_STREAMSIZEF_SOURCE) || !blockOut) return false;
    s->framesPerBlock = static_cast<int>(blockOut / static_cast<DWORD>(BytesPerFrame(s)));
    return s->framesPerBlock > 0;
}

bool OpenWave(PcmSource *s, const char *path) {
    s->file = mmioOpenA(const_cast<LPSTR>(path), nullptr, MMIO_READ | MMIO_ALLOCBUF | MMIO_DENYNONE);
    DWORD factFrames = 0;
    if (!s->file || !ReadChunks(s, &factFrames) || !ChooseConversion(s)) return false;
    const int64_t blocks = s->dataBytes / static_cast<DWORD>(s->sourceBlock);
    s->frames = blocks * s->framesPerBlock;
    if (s->acm && factFrames && factFrames < s->frames) s->frames = factFrames;
    return s->frames > 0;
}

// Reads and converts the next batch of blocks onto `pending`; false at the
// end of the data or on a failure.
bool DecodeWave(PcmSource *s) {
    const DWORD left = s->dataBytes - s->dataRead;
    const DWORD block = static_cast<DWORD>(s->sourceBlock);
    DWORD blocks = static_cast<DWORD>(kBatchFrames / static_cast<size_t>(s->framesPerBlock));
    if (!blocks) blocks = 1;
    DWORD bytes = blocks * block < left ? blocks * block : left / block * block;
    if (!bytes) return false;
    s->raw.resize(bytes);
    if (mmioSeek(s->file, s->dataStart + static_cast<LONG>(s->dataRead), SEEK_SET) < 0 ||
        mmioRead(s->file, reinterpret_cast<HPSTR>(s->raw.data()), static_cast<LONG>(bytes)) != static_cast<LONG>(bytes))
        return false;
    s->dataRead += bytes;
    const size_t before = s->pending.size();
    const WAVEFORMATEX *f = Format(s);
    if (IsPlainPcm(s) && f->wBitsPerSample == 16) {
        s->pending.insert(s->pending.end(), s->raw.begin(), s->raw.end());
    } else if (IsPlainPcm(s)) {
        s->pending.resize(before + bytes * 2);
        int16_t *out = reinterpret_cast<int16_t *>(s->pending.data() + before);
        for (DWORD i = 0; i < bytes; ++i) out[i] = static_cast<int16_t>((s->raw[i] - 128) << 8);
    } else {
        const AcmEntries *acm = BindAcm();
        DWORD room = 0;
        if (acm->streamSize(s->acm, bytes, &room, ACM_STREAMSIZEF_SOURCE)) return false;
        s->pending.resize(before + room);
        DWORD made = 0;
        const DWORD flags = ACM_STREAMCONVERTF_BLOCKALIGN | (s->converting ? 0 : ACM_STREAMCONVERTF_START);
        if (!AcmConvert(acm, s->acm, s->raw.data(), bytes, flags, s->pending.data() + before, room, &made)) {
            s->pending.resize(before);
            return false;
        }
        s->converting = true;
        s->pending.resize(before + made);
    }
    return true;
}

// Frames decoded and not read yet.
size_t Pending(const PcmSource *s) {
    return (s->pending.size() - s->pendingFrom) / static_cast<size_t>(BytesPerFrame(s));
}

// Decodes until a frame is pending (dropping what a seek within a block
// asks); false at the end.
bool Fill(PcmSource *s) {
    while (Pending(s) == 0) {
        s->pending.clear();
        s->pendingFrom = 0;
        if (s->mp3) {
            const size_t want = kBatchFrames * static_cast<size_t>(BytesPerFrame(s));
            if (s->mp3Stream.endOfData || !Mp3StreamDecode(&s->mp3Stream, s->pending, want) || s->pending.empty())
                return false;
        } else if (!DecodeWave(s)) {
            return false;
        }
        const size_t drop = s->dropFrames < static_cast<int64_t>(Pending(s)) ? static_cast<size_t>(s->dropFrames)
                                                                              : Pending(s);
        s->pendingFrom += drop * static_cast<size_t>(BytesPerFrame(s));
        s->dropFrames -= static_cast<int64_t>(drop);
    }
    return true;
}

}  // namespace

bool PcmOpen(PcmSource *s, const char *path, bool mp3) {
    PcmClose(s);
    s->mp3 = mp3;
    bool opened = false;
    if (mp3) {
        opened = Mp3StreamOpen(&s->mp3Stream, path) == 0;
        if (opened) {
            const FrameHeader &h = s->mp3Stream.info.header;
            s->sampleRate = h.sampleRate;
            s->channels = h.channels;
            s->frames = Mp3StreamSamples(&s->mp3Stream);
            opened = s->frames > 0;
        }
    } else {
        opened = OpenWave(s, path);
    }
    if (!opened || !PcmSeek(s, 0)) {
        PcmClose(s);
        return false;
    }
    return true;
}

void PcmClose(PcmSource *s) {
    if (s->mp3) Mp3StreamClose(&s->mp3Stream);
    CloseWave(s);
    *s = PcmSource{};
}

bool PcmSeek(PcmSource *s, int64_t frame) {
    if (frame < 0) frame = 0;
    if (frame > s->frames) frame = s->frames;
    s->pending.clear();
    s->pendingFrom = 0;
    s->next = frame;
    if (s->mp3) {
        s->dropFrames = 0;
        return Mp3StreamSeek(&s->mp3Stream, frame);
    }
    const int64_t block = frame / s->framesPerBlock;
    s->dataRead = static_cast<DWORD>(block * s->sourceBlock);
    s->dropFrames = frame - block * s->framesPerBlock;
    s->converting = false;
    return true;
}

size_t PcmRead(PcmSource *s, int16_t *pcm, size_t frames) {
    const int64_t left = s->frames - s->next;
    if (left <= 0) return 0;
    if (static_cast<int64_t>(frames) > left) frames = static_cast<size_t>(left);
    size_t done = 0;
    const size_t frameBytes = static_cast<size_t>(BytesPerFrame(s));
    while (done < frames && Fill(s)) {
        size_t n = Pending(s);
        if (n > frames - done) n = frames - done;
        memcpy(pcm + done * static_cast<size_t>(s->channels), s->pending.data() + s->pendingFrom, n * frameBytes);
        s->pendingFrom += n * frameBytes;
        done += n;
    }
    s->next += static_cast<int64_t>(done);
    return done;
}
