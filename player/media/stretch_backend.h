// Playing Wave and MP3 files at another speed with the pitch kept: the file
// read as PCM, time-stretched, and played through waveOut on a thread of
// its own. Positions are the file's own milliseconds at every speed.
#pragma once
#include "media/media_backend.h"

extern const MediaBackend kStretchBackend;

// The speed of the windows made from now on (a playing file changes within
// the sound already queued, about a tenth of a second).
void StretchBackendSetSpeed(PlayerState *state, int percent);
