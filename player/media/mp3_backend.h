// Playing MP3 files through the decoder library "VBMP3.dll", bound at start-up.
#pragma once
#include "media/media_backend.h"

int BindDecoder(PlayerState *state);       // 1 when all 24 entry points are bound
void UnbindDecoder(PlayerState *state);
void CALLBACK DecoderCallback(int code, int param);

// Longest wait for the decoder to reach a state before the session gives up.
constexpr DWORD kDecoderWaitMs = 2000;
