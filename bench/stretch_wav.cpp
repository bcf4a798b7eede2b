// The time-stretch alone on a Wave file, for the quality bench: reads 16-bit
// PCM, writes it at the speed given (percent), fed in pieces as the player
// feeds it. Built for the host: the module has no Windows calls.
//   stretch_wav IN.wav OUT.wav PERCENT
#include "time_stretch.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Wave {
    int rate = 0, channels = 0;
    std::vector<int16_t> pcm;
};

bool Read(const char *path, Wave *w) {
    FILE *f = fopen(path, "rb");
    if (!f) return false;
    std::vector<unsigned char> b;
    unsigned char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) b.insert(b.end(), chunk, chunk + n);
    fclose(f);
    if (b.size() < 12 || memcmp(b.data(), "RIFF", 4) || memcmp(b.data() + 8, "WAVE", 4)) return false;
    auto u32 = [&](size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24; };
    for (size_t at = 12; at + 8 <= b.size();) {
        const uint32_t size = u32(at + 4);
        if (!memcmp(b.data() + at, "fmt ", 4)) {
            w->channels = b[at + 10] | b[at + 11] << 8;
            w->rate = static_cast<int>(u32(at + 12));
            if ((b[at + 22] | b[at + 23] << 8) != 16) return false;
        } else if (!memcmp(b.data() + at, "data", 4)) {
            const size_t bytes = size < b.size() - at - 8 ? size : b.size() - at - 8;
            w->pcm.resize(bytes / 2);
            memcpy(w->pcm.data(), b.data() + at + 8, w->pcm.size() * 2);
        }
        at += 8 + size + (size & 1);
    }
    return w->rate && w->channels;
}

void Put32(FILE *f, uint32_t v) { fwrite(&v, 4, 1, f); }
void Put16(FILE *f, uint16_t v) { fwrite(&v, 2, 1, f); }

bool Write(const char *path, const Wave &w) {
    FILE *f = fopen(path, "wb");
    if (!f) return false;
    const uint32_t bytes = static_cast<uint32_t>(w.pcm.size() * 2);
    fwrite("RIFF", 1, 4, f);
    Put32(f, 36 + bytes);
    fwrite("WAVEfmt ", 1, 8, f);
    Put32(f, 16);
    Put16(f, 1);
    Put16(f, static_cast<uint16_t>(w.channels));
    Put32(f, static_cast<uint32_t>(w.rate));
    Put32(f, static_cast<uint32_t>(w.rate * w.channels * 2));
    Put16(f, static_cast<uint16_t>(w.channels * 2));
    Put16(f, 16);
    fwrite("data", 1, 4, f);
    Put32(f, bytes);
    fwrite(w.pcm.data(), 2, w.pcm.size(), f);
    return fclose(f) == 0;
}

}  // namespace

int main(int argc, char **argv) {
    Wave in, out;
    if (argc != 4 || !Read(argv[1], &in)) {
        fprintf(stderr, "usage: stretch_wav IN.wav OUT.wav PERCENT (16-bit PCM in)\n");
        return 2;
    }
    TimeStretch s;
    if (!StretchStart(&s, in.rate, in.channels, 0)) return 1;
    StretchSetSpeed(&s, atoi(argv[3]));
    out.rate = in.rate;
    out.channels = in.channels;
    const size_t frames = in.pcm.size() / in.channels;
    size_t at = 0;
    std::vector<int16_t> piece(441 * in.channels);  // 10 ms at 44.1 kHz, as the player's buffers
    while (!StretchDone(&s)) {
        const size_t got = StretchTake(&s, piece.data(), 441);
        if (got) {
            out.pcm.insert(out.pcm.end(), piece.begin(), piece.begin() + got * in.channels);
            continue;
        }
        size_t wanted = StretchWants(&s);
        if (wanted < 1024) wanted = 1024;
        if (at >= frames) {
            StretchEnd(&s);
            continue;
        }
        if (wanted > frames - at) wanted = frames - at;
        StretchPut(&s, in.pcm.data() + at * in.channels, wanted);
        at += wanted;
    }
    return Write(argv[2], out) ? 0 : 1;
}
