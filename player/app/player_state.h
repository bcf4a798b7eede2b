// The player's one state record, reached through the main window.
#pragma once
#include <windows.h>
#include "text_blocks.h"
#include "tray_icon.h"
#include <array>
#include <cstddef>
#include "res/resource.h"

enum SessionState : int {
    StateClosed = 0,
    StateOpened = 1,
    StatePlaying = 2,
    StatePaused = 3,
    StateRecordReady = 4,
    StateRecording = 5,
    StateRecorded = 6,
};

constexpr int kPathSize = MAX_PATH;          // every kept path or name
static_assert(kPathSize == kTextBlockSize, "paths live in text blocks");
constexpr int kRecentMax = 8;
constexpr int kMainControlCount = IDC_ZERO - IDC_POSITION_BAR + 1;  // ids IDC_POSITION_BAR..IDC_ZERO

// Entry points of the MP3 decoder library, all 32-bit arguments.
typedef BOOL(WINAPI *Vbmp3Bool)();
typedef void(WINAPI *Vbmp3Void)();
typedef BOOL(WINAPI *Vbmp3Open)(LPCSTR path, void *info);
typedef int(WINAPI *Vbmp3GetState)(int *detail);
typedef int(WINAPI *Vbmp3GetInt)();
typedef BOOL(WINAPI *Vbmp3SetInt)(int value);
typedef void(CALLBACK *DecoderCallbackProc)(int code, int param);
typedef BOOL(WINAPI *Vbmp3Callback)(DecoderCallbackProc proc);
typedef BOOL(WINAPI *Vbmp3GetBlock)(void *block);

// The binding of "VBMP3.dll": module, the 24 entry points in binding order, name.
struct Mp3Decoder {
    HMODULE module;
    Vbmp3Void init;
    Vbmp3Void free;
    Vbmp3Open open;
    Vbmp3Void close;
    Vbmp3GetState getState;
    Vbmp3Bool play;
    Vbmp3Bool stop;
    Vbmp3Bool pause;
    Vbmp3Bool restart;
    Vbmp3SetInt seek;
    Vbmp3SetInt setStepPitch;
    Vbmp3GetInt getStepPitch;
    Vbmp3SetInt setPitch;
    Vbmp3GetInt getPitch;
    Vbmp3GetInt getPlaySamples;
    Vbmp3GetInt getTotalSamples;
    Vbmp3SetInt setPlaySamples;
    Vbmp3GetInt getPlayFlames;
    Vbmp3SetInt setPlayFlames;
    Vbmp3Callback callback;
    Vbmp3GetInt getLastErrorNo;
    Vbmp3GetInt getFileType;
    Vbmp3GetBlock getMpegInfo;
    Vbmp3GetInt getVersion;
    const char *libraryName;
};
constexpr int kDecoderEntryCount = 24;

typedef BOOL(WINAPI *PathCompactPathExProc)(LPSTR out, LPCSTR src, UINT max, DWORD flags);
typedef BOOL(WINAPI *PathSetDlgItemPathProc)(HWND dialog, int id, LPCSTR path);
typedef BOOL(WINAPI *PathSetDlgItemPathWProc)(HWND dialog, int id, LPCWSTR path);

struct RecentFiles {
    char entries[kRecentMax][kPathSize];
    int entryCount;
    int ownsShlwapi;
    HMODULE shlwapiModule;
    PathCompactPathExProc compactPath;
    int noCompactPath;
};

struct RecordFormat {
    DWORD samplesPerSec;
    WORD bitsPerSample;
    WORD channels;
};

struct MediaBackend;  // media/media_backend.h

struct PlayerState {
    HINSTANCE hInstance;
    HICON largeIcon;
    HICON smallIcon;
    HACCEL accelTable;
    UINT_PTR refreshTimerId;
    int showErrors;
    int zeroMark;
    HGLOBAL appNameHandle;
    char *appName;
    int scrollScale;
    HGLOBAL currentFileHandle;
    char *currentFile;
    HGLOBAL lastFolderHandle;
    char *lastFolder;
    HGLOBAL iniPathHandle;
    char *iniPath;
    int suspendPosition;
    int showHour;
    int topmost;
    int repeatAll;
    int repeatStart;
    int repeatEnd;
    int restorePosition;
    const char *pendingCommandFile;
    HMODULE pathLibrary;
    PathSetDlgItemPathProc pathSetDlgItemPath;
    PathSetDlgItemPathWProc pathSetDlgItemPathW;  // for a name beyond the code page
    RecordFormat recordFormat;
    HSZ ddeServiceHsz;
    int sessionState;
    MCIDEVICEID mciDeviceId;
    Mp3Decoder mp3Decoder;
    int mp3SampleRate;
    int mp3TotalSamples;
    int mp3FrameMode;
    int mp3TotalFrames;
    int mp3SamplesPerFrame;
    int mp3Available;
    const MediaBackend *media;  // the way the open file plays (null: MCI)
    RecentFiles recentFiles;
    HMENU fileMenu;
    TrayIconData trayIcon;
    int inTray;
    HMENU trayMenu;
    UINT taskbarCreatedMessage;
    int iconToTray;
    int restoreLastFile;
    int lastFilePos;
    int lastFileOffset;
    HGLOBAL lastFileHandle;
    char *lastFile;
    // The main window's controls, looked up once: the refresh tick reaches
    // six of them five times a second, and each lookup asks the server.
    std::array<HWND, kMainControlCount> controls;
    // The texts last written to the length and position displays: comparing
    // with them spares the tick asking a control for its text.
    char shownTimes[2][24];
    // A recording MCI has saved waits here (in the temporary folder) until a
    // copy of it is whole where the user asked; removed at the close.
    char takeFile[kPathSize];
    DWORD takeBytes;  // the take's samples, in bytes
    // The position last seen while playing or recording, since when (0: not
    // watching), and whether it has moved since the play or record began.
    int watchedPosition;
    DWORD watchedSince;
    int watchedMoved;
    // The playing speed in percent (100: the file plays through MCI or the
    // decoder; else through the stretch, which holds its own record).
    int speed;
    int shownSpeed;  // the speed the caption names
    int speedFixed;  // the open file could not be read for the stretch: it plays at 100 %
    struct StretchPlayback *stretchPlayback;
};

// The record's address sits at DLGWINDOWEXTRA; pointer-sized so that the
// 64-bit build keeps a whole address (the 32-bit build has 30 + 4 bytes).
constexpr int kStateSlot = DLGWINDOWEXTRA;
constexpr int kMainWindowExtra = DLGWINDOWEXTRA + sizeof(LONG_PTR);

#ifndef _WIN64
static_assert(DLGWINDOWEXTRA == 30, "dialog extra bytes");
static_assert(kMainWindowExtra == 34, "main window extra bytes");
static_assert(sizeof(Mp3Decoder) == 4 * 26, "decoder binding block");
static_assert(sizeof(RecordFormat) == 8, "recording format");
#endif
static_assert(offsetof(Mp3Decoder, getVersion) == sizeof(void *) * kDecoderEntryCount,
              "24 entry points follow the module handle");

inline PlayerState *GetPlayerState(HWND window) {
    return window ? reinterpret_cast<PlayerState *>(GetWindowLongPtrA(window, kStateSlot)) : nullptr;
}

inline bool IsFileOpen(int state) {
    return state == StateOpened || state == StatePlaying || state == StatePaused;
}
inline bool IsRecordingOpen(int state) {
    return state == StateRecordReady || state == StateRecording || state == StateRecorded;
}
inline bool CanPlay(int state) { return state == StateOpened || state == StatePaused; }
inline bool CanStop(int state) { return state == StatePlaying || state == StateRecording; }

// The process-wide copy of the main window, for code without a window at hand.
extern HWND g_mainWindow;
