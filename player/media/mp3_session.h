// The MP3 branch of the media session, through "VBMP3.dll".
#pragma once
#include <windows.h>
#include "app/player_state.h"

int BindDecoder(PlayerState *state);       // 1 when all 24 entry points are bound
void UnbindDecoder(PlayerState *state);
void CALLBACK DecoderCallback(int code, int param);

int Mp3Open(HWND window, PlayerState *state, const char *path);
void Mp3Close(PlayerState *state);
int Mp3Prime(HWND window, PlayerState *state);
int Mp3Play(HWND window, PlayerState *state);
int Mp3Pause(HWND window, PlayerState *state);
int Mp3SetSample(HWND window, PlayerState *state, int sample);
int Mp3GetLength(const PlayerState *state);
int Mp3GetPosition(const PlayerState *state);
int Mp3GetMode(const PlayerState *state);
// The end-of-play notice of `session` (the lParam the decoder callback posted).
int Mp3OnNotify(HWND window, PlayerState *state, LPARAM session);
void Mp3ErrorText(PlayerState *state, char *text);   // 260-byte buffer

// Longest wait for the decoder to reach a state before the session gives up.
constexpr DWORD kDecoderWaitMs = 2000;
