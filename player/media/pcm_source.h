// A sound file read as interleaved 16-bit PCM from any frame, a piece at a
// time (never the whole file in memory): a Wave through the multimedia file
// functions, converted by ACM where it is not 8- or 16-bit PCM; an MP3
// through the decoder's stream code.
#pragma once
#include <windows.h>
#include <mmsystem.h>
#include <cstdint>
#include <vector>
#include "mp3_stream.h"

struct PcmSource {
    int sampleRate = 0;
    int channels = 0;
    int64_t frames = 0;  // the file's length
    int64_t next = 0;    // the frame the next read gives

    bool mp3 = false;
    Mp3Stream mp3Stream;

    // A Wave: its data chunk, and its format as stored.
    HMMIO file = nullptr;
    LONG dataStart = 0;
    DWORD dataBytes = 0;
    std::vector<BYTE> format;  // the WAVEFORMATEX and its extra bytes
    int sourceBlock = 0;       // bytes of a block in the file
    int framesPerBlock = 0;    // frames a block gives
    HACMSTREAM acm = nullptr;  // where the data is not plain PCM
    std::vector<BYTE> raw;     // blocks read, before conversion
    DWORD dataRead = 0;        // bytes of the data chunk read so far
    int64_t dropFrames = 0;    // frames to drop from the next blocks (a seek within a block)
    bool converting = false;   // the codec has been given a block since the seek

    // Frames decoded and not yet read (interleaved 16-bit), from `pendingFrom`.
    std::vector<char> pending;
    size_t pendingFrom = 0;
};

// Opens the file (`mp3`: through the MP3 stream); false when it cannot be
// read as PCM this way, with nothing left open.
bool PcmOpen(PcmSource *source, const char *path, bool mp3);
void PcmClose(PcmSource *source);
// The next read starts at `frame` (clamped into the file).
bool PcmSeek(PcmSource *source, int64_t frame);
// Up to `frames` frames into `pcm`; 0 at the end or on a failure.
size_t PcmRead(PcmSource *source, int16_t *pcm, size_t frames);
