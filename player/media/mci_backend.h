// Playing through MCI, and the new recordings, which only MCI makes.
#pragma once
#include "media/media_backend.h"

// A new recording of the given format, its times in milliseconds. On an
// error nothing stays open.
DWORD MciOpenNewRecording(PlayerState *state, int samplesPerSec, WORD bitsPerSample, WORD channels);
DWORD MciRecord(HWND window, PlayerState *state);  // records on; the end is notified to `window`
DWORD MciStop(PlayerState *state);
DWORD MciSave(PlayerState *state, const char *path);
// The waveaudio device's abilities: bit 0 audio, 1 play, 2 record, 3 save.
DWORD MciDevCaps(PlayerState *state, int *bits);

// A device whose sound device went is left to its driver: under Wine every
// further command to it (a stop, a close) waits for good. Nothing more is
// asked of it, and the process ends without the libraries' teardown, which
// would close it.
void MciLeaveDevice(PlayerState *state);
extern bool g_mciDeviceLeft;
