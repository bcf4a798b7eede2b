// The ways the media session plays a file: the operations each provides.
// The session picks one at open and keeps it until the close; it owns the
// session's state, the displays and the error boxes, and a way of playing
// touches none of them. Every operation returns 0 or an error for the
// way's own errorText.
#pragma once
#include <windows.h>
#include "app/player_state.h"

struct MediaBackend {
    // True when this way may open the path (the session tries them in turn).
    bool (*accepts)(const PlayerState *state, const char *path);
    // Opens the file with its times in milliseconds; end-of-play notices go
    // to `window`. On an error nothing stays open.
    DWORD (*open)(HWND window, PlayerState *state, const char *path);
    void (*close)(PlayerState *state);
    // Leaves an opened or played-out file standing paused, where this way
    // cannot play on from a stop; nullptr where it can.
    DWORD (*hold)(PlayerState *state);
    // Plays on from where the file stands; *playing tells whether the
    // device was seen playing (a very short file may be over already).
    DWORD (*play)(HWND window, PlayerState *state, bool *playing);
    DWORD (*pause)(PlayerState *state);
    // Moves to a position in milliseconds within the length; a playing
    // file plays on from there.
    DWORD (*seekTo)(HWND window, PlayerState *state, int position);
    DWORD (*seekToEdge)(PlayerState *state, bool toEnd);
    DWORD (*length)(const PlayerState *state, int *ms);
    DWORD (*position)(const PlayerState *state, int *ms);
    DWORD (*mode)(const PlayerState *state, int *mode);  // an MCI_MODE_ value
    // True when the MM_MCINOTIFY ends this session's play or recording.
    bool (*isEnd)(const PlayerState *state, WPARAM flags, LPARAM lParam);
    void (*errorText)(const PlayerState *state, DWORD error, char *text);  // kPathSize bytes
};

extern const MediaBackend kMciBackend;  // MCI, by the device the extension names
extern const MediaBackend kMp3Backend;  // the MP3 decoder library
