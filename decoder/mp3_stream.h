// An MP3 file decoded to 16-bit PCM from any sample, through the system's
// ACM MPEG Layer-3 codec. The decoder library plays it; the player reads it
// for playing at another speed. Not thread-safe: one owner at a time.
#pragma once
#include <windows.h>
#include <mmreg.h>
#include <msacm.h>
#include <vector>
#include "mp3_frames.h"

struct Mp3Stream {
    // The file is scanned once through a view of it, then read a window at a
    // time: a long file costs its seek table (a frame offset in every
    // kSeekStep), never its size in memory, and a file cut short under the
    // player only ends the stream early.
    HANDLE file = INVALID_HANDLE_VALUE;
    StreamInfo info = {};
    std::vector<uint32_t> seekTable;
    std::vector<uint8_t> window;
    size_t windowStart = 0;

    HACMSTREAM acm = nullptr;
    size_t nextOffset = 0;       // next frame to decode
    uint32_t nextFrame = 0;
    long long dropBytes = 0;     // decoded bytes still to drop after a seek
    bool endOfData = false;
};

// Opens and scans the file: 0, or the decoder library's error number.
int Mp3StreamOpen(Mp3Stream *stream, const char *path);
void Mp3StreamClose(Mp3Stream *stream);
long long Mp3StreamSamples(const Mp3Stream *stream);  // per channel
inline int Mp3StreamBlockAlign(const Mp3Stream *stream) { return stream->info.header.channels * 2; }
// Decoding goes on from `sample`: a few frames early, to fill the bit
// reservoir, their output dropped. False when the codec cannot be opened.
bool Mp3StreamSeek(Mp3Stream *stream, long long sample);
// Decodes whole frames onto the end of `out` until it holds `bytes` or the
// stream ends (endOfData); false on a decode failure.
bool Mp3StreamDecode(Mp3Stream *stream, std::vector<char> &out, size_t bytes);
