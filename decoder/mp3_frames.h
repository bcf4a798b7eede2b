// MPEG audio Layer III frame headers, tags and VBR headers.
#pragma once
#include <cstddef>
#include <cstdint>

struct FrameHeader {
    int version;          // 1 = MPEG-1, 2 = MPEG-2, 25 = MPEG-2.5
    int bitrate;          // bits per second
    int sampleRate;       // Hz
    int channels;         // 1 or 2
    int padding;
    int length;           // bytes, header included
    int samplesPerFrame;  // 1152 or 576
};

// Decodes the 4 bytes at p; false when they are no Layer III header.  A
// free-format header (bit-rate index 0) is taken only with the stream's
// frame length without padding, `freeLength`, found by ScanStream.
bool ParseFrameHeader(const uint8_t *p, size_t available, FrameHeader *out, int freeLength = 0);

struct StreamInfo {
    size_t firstFrame;    // offset of the first audio frame
    size_t dataEnd;       // end of the audio data (before ID3v1/APE tags)
    FrameHeader header;   // of the first frame
    uint32_t frames;      // audio frames
    bool vbrHeader;       // frame count from a Xing/Info or VBRI header
    int freeLength;       // free format: frame length without padding; else 0
};

// Finds the stream in a whole file; 0 on success, else the library's error number.
int ScanStream(const uint8_t *data, size_t size, StreamInfo *out);

// Offset of audio frame `index` (walking from the first frame); dataEnd when past the end.
size_t FrameOffset(const uint8_t *data, const StreamInfo &info, uint32_t index);
