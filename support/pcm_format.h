// The one PCM format the players hand to waveOut and ask of ACM: 16-bit
// samples at a given rate and channel count.
#pragma once
#include <windows.h>
#include <mmsystem.h>

inline WAVEFORMATEX Pcm16Format(DWORD sampleRate, WORD channels) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = sampleRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(channels * 2);
    format.nAvgBytesPerSec = sampleRate * format.nBlockAlign;
    return format;
}
