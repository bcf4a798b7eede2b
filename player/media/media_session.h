// The media session: one sound file or one new recording, played through one
// of the ways in media_backend.h. Every operation takes the main window.
#pragma once
#include <windows.h>

int MediaOpen(HWND window, const char *path);
int MediaClose(HWND window);
int MediaPlay(HWND window);
int MediaPause(HWND window);
int MediaTop(HWND window);
int MediaLast(HWND window);
int MediaSeekTo(HWND window, int position);
int MediaSeekRel(HWND window, int offset);
int MediaZero(HWND window);
int MediaGetLength(HWND window);
int MediaGetPosition(HWND window);
int MediaGetMode(HWND window);
int MediaGetDevCaps(HWND window);
int MediaOpenForRecord(HWND window, int samplesPerSec, WORD bitsPerSample, WORD channels);
int MediaRecord(HWND window);
int MediaStopRecord(HWND window);
int MediaSaveAs(HWND window, const char *path);
int MediaOnNotify(HWND window, WPARAM flags, LPARAM lParam);
void MediaReportError(HWND window, DWORD error);
// The playing speed in percent, clamped into 25-300: 0 (and nothing
// changes) while a recording is open or for a file whose speed cannot
// change (MIDI, video). With nothing open it is kept for the next file.
int MediaSetSpeed(HWND window, int percent);
int MediaGetSpeed(HWND window);  // 100 for a file that plays only at 100 %
bool MediaSpeedCanChange(HWND window);
// Called with each position read while the window refreshes: a position that
// stands still for two seconds while playing or recording means the sound
// device has gone. Reported once; playback ends, a recording stops and keeps
// what MCI still gives of it.
void MediaWatchProgress(HWND window, int position);

// Milliseconds per position-bar unit for a length, keeping the range within 32767.
inline int ScrollScaleFor(int length) { return length <= 32767 ? 1 : length / 32767 + 1; }

// An error box is up (one at a time); a close asked for meanwhile waits for it.
extern bool g_errorBoxShown;
extern bool g_closeAfterErrorBox;
// While a DDE transaction runs, a box waits until it has been answered: the
// client never waits on the box, nor leaves the player deaf by giving up.
extern bool g_deferErrorBoxes;
// The box put off, posted as WM_DEFERREDERROR.
void ShowDeferredErrorBox(HWND window);
