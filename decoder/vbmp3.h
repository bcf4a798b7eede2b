// VBMP3.dll: our MP3 decoder library (stand-in for the outside one).
// All functions are WINAPI with 32-bit arguments.
//
// Information block filled by vbmp3_open (272 bytes, 32-bit integers):
//   0 MPEG version (1, 2 or 25)   4 layer (3)         8 bitrate of the first frame (bit/s)
//  12 channels                   16 frames          20 total samples
//  24 samples per frame          28 1 when a Xing/Info or VBRI header gave the totals
//  32..263 reserved, zero        264 sample rate (Hz)   268 reserved
// MPEG information block (vbmp3_getMpegInfo, 56 bytes): the first 8 integers of the above.
// States: 0 stopped, 1 playing, 2 paused.  Notification code 4: end of play.
#pragma once
#include <windows.h>

constexpr int kVbmp3Version = 100;  // 1.00
constexpr int kInfoSize = 272;
constexpr int kMpegInfoSize = 56;

enum Vbmp3Error {
    ErrNone = 0, ErrOpen = 1, ErrNotOpen = 2, ErrRead = 3, ErrNoFrameHeader = 10, ErrStopped = 12,
    ErrNotStopped = 13, ErrNotPlaying = 14, ErrPlay = 16, ErrStop = 17, ErrValue = 18, ErrMemory = 19,
    ErrNotMp3 = 22, ErrOutputDevice = 25, ErrDecodeSetup = 26, ErrDecode = 27,
};
