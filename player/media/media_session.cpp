// The media session's MCI branch; the MP3 branch lives in mp3_session.cpp.
#include "media/media_session.h"
#include "media/mp3_session.h"
#include "app/main_window.h"
#include "app/player_state.h"
#include "app/displays.h"
#include "res/resource.h"
#include <mmsystem.h>

namespace {

constexpr int kMaxPlayAttempts = 5;

void ClearRepeat(PlayerState *state) {
    state->repeatEnd = 0;
    state->repeatStart = 0;
}

void ClearDisplays(HWND window) {
    SetTimeText(window, IDC_LENGTH, 0);
    SetTimeText(window, IDC_POSITION, 0);
    SetFileNameText(window, "");
}

// The text after the last '.' of the whole path, or "" when there is none
// (or the only '.' is the first character).
const char *PathExtension(const char *path) {
    const char *dot = nullptr;
    for (const char *p = path; *p; p = CharNextA(p)) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p))) continue;  // CharNextA steps over the trail byte
        if (*p == '.') dot = p;
    }
    return (dot && dot != path) ? dot + 1 : "";
}

DWORD SendWait(MCIDEVICEID device, UINT message, DWORD flags, void *params) {
    return mciSendCommandA(device, message, flags | MCI_WAIT, reinterpret_cast<DWORD_PTR>(params));
}

DWORD StatusItem(MCIDEVICEID device, DWORD item, DWORD *value) {
    MCI_STATUS_PARMS status = {};
    status.dwItem = item;
    DWORD error = SendWait(device, MCI_STATUS, MCI_STATUS_ITEM, &status);
    *value = error ? 0 : static_cast<DWORD>(status.dwReturn);
    return error;
}

}  // namespace

bool g_errorBoxShown = false;
bool g_closeAfterErrorBox = false;

// A box with the decoder's last error or the MCI error's text, or a beep
// while errors are not shown. One box at a time: a further error while one is
// up only beeps, and a close asked for meanwhile happens after it.
static void ReportError(HWND window, DWORD error, bool decoderText) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return;
    if (!state->showErrors || g_errorBoxShown) {
        MessageBeep(0xFFFFFFFF);
        return;
    }
    char text[kPathSize] = "";
    char caption[kPathSize] = "";
    if (decoderText) Mp3ErrorText(state, text);
    else mciGetErrorStringA(error, text, 256);
    lstrcpynA(caption, state->appName, sizeof caption);
    g_errorBoxShown = true;
    {
        CentredDialogs centred;
        MessageBoxA(window, text, caption, MB_ICONWARNING);
    }
    g_errorBoxShown = false;
    if (g_closeAfterErrorBox) {
        g_closeAfterErrorBox = false;
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
}

int MediaOpen(HWND window, const char *path) {
    PlayerState *state = GetPlayerState(window);
    if (!state || !path) return 0;
    if (lstrlenA(path) >= kPathSize) {
        // A name that does not fit the player's 260-byte buffers is refused
        // before anything is closed, with the open failure's own text also
        // while an MP3 is open.
        ReportError(window, MCIERR_FILE_NOT_FOUND, false);
        return 0;
    }
    MediaClose(window);
    ClearDisplays(window);
    state->zeroMark = 0;
    ClearRepeat(state);

    char deviceType[256] = "";
    char section[64] = "";
    char mp3Ext[16] = "";
    LoadStringA(state->hInstance, IDS_WAVEAUDIO, deviceType, sizeof deviceType);
    LoadStringA(state->hInstance, IDS_MCI_EXTENSIONS, section, sizeof section);
    LoadStringA(state->hInstance, IDS_EXT_MP3, mp3Ext, sizeof mp3Ext);
    const char *ext = PathExtension(path);
    char fallback[256];
    lstrcpynA(fallback, deviceType, sizeof fallback);
    GetProfileStringA(section, ext, fallback, deviceType, sizeof deviceType);
    const bool isMp3 = lstrcmpiA(ext, mp3Ext) == 0;
    const bool mayUseDecoder = state->mp3Available && isMp3;

    MCI_OPEN_PARMSA open = {};
    open.lpstrDeviceType = deviceType;
    open.lpstrElementName = path;
    bool useDecoder = false;
    DWORD error = SendWait(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, &open);
    if (error) {
        if (!mayUseDecoder) {
            MediaReportError(window, error);
            return 0;
        }
        useDecoder = true;
    } else {
        state->mciDeviceId = open.wDeviceID;
        state->sessionState = StateOpened;
        if (!MediaSetTimeFormat(window)) {
            if (!mayUseDecoder) return 0;
            useDecoder = true;
        }
    }
    if (useDecoder && !Mp3Open(window, state, path)) return 0;

    const int length = MediaGetLength(window);
    state->scrollScale = ScrollScaleFor(length);
    SetBarRange(window, 0, (length - 1) / state->scrollScale);
    SetBarPosition(window, 0);
    SetTimeText(window, IDC_LENGTH, length);
    SetTimeText(window, IDC_POSITION, 0);
    SetFileNameText(window, path);

    if (state->mp3Active && !Mp3Prime(window, state)) return 0;
    return 1;
}

constexpr DWORD kRecordSettleMs = 150;

// Wine's waveaudio answers a stop (also the one a seek makes) before its
// record thread has let go of the input device and the file; a seek, save or
// close in that moment, or the process ending, can hang or crash. Every way
// out of a recording under way stops it here and gives the thread the moment
// it needs.
static DWORD StopRecordingUnderWay(PlayerState *state) {
    if (state->sessionState != StateRecording) return 0;
    const DWORD error = SendWait(state->mciDeviceId, MCI_STOP, 0, nullptr);
    Sleep(kRecordSettleMs);
    state->sessionState = StateRecorded;
    return error;
}

int MediaClose(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState == StateClosed) return 1;
    StopRecordingUnderWay(state);
    if (state->mp3Active) {
        Mp3Close(state);
    } else {
        SendWait(state->mciDeviceId, MCI_CLOSE, 0, nullptr);
        state->mciDeviceId = 0;
    }
    state->sessionState = StateClosed;
    ClearDisplays(window);
    state->scrollScale = 1;
    SetBarRange(window, 0, 1);
    SetBarPosition(window, 0);
    state->zeroMark = 0;
    ClearRepeat(state);
    return 1;
}

int MediaSetTimeFormat(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return 0;
    if (state->mp3Active) return 1;
    MCI_SET_PARMS set = {};
    set.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
    DWORD error = SendWait(state->mciDeviceId, MCI_SET, MCI_SET_TIME_FORMAT, &set);
    if (error) {
        MediaClose(window);
        MediaReportError(window, error);
        return 0;
    }
    return 1;
}

int MediaPlay(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return 0;
    ClearRepeat(state);
    if (!CanPlay(state->sessionState)) return 0;
    if (state->mp3Active) return Mp3Play(window, state);
    for (int attempt = 0; attempt < kMaxPlayAttempts; ++attempt) {
        MCI_PLAY_PARMS play = {};
        play.dwCallback = reinterpret_cast<DWORD_PTR>(window);
        DWORD error = mciSendCommandA(state->mciDeviceId, MCI_PLAY, MCI_NOTIFY,
                                      reinterpret_cast<DWORD_PTR>(&play));
        if (error) {
            MediaReportError(window, error);
            return 0;
        }
        if (MediaGetMode(window) == MCI_MODE_PLAY) {
            state->sessionState = StatePlaying;
            break;
        }
    }
    return 1;
}

int MediaPause(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState != StatePlaying) return 1;
    if (state->mp3Active) {
        if (!Mp3Pause(window, state)) return 0;
    } else {
        DWORD error = SendWait(state->mciDeviceId, MCI_PAUSE, 0, nullptr);
        if (error) {
            MediaReportError(window, error);
            return 0;
        }
    }
    state->sessionState = StatePaused;
    ClearRepeat(state);
    return 1;
}

// Seeks to the start (toEnd 0) or the end (toEnd 1); playback goes on from there.
static int SeekToEdge(HWND window, bool toEnd) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState == StateClosed) return 1;
    const bool wasPlaying = state->sessionState == StatePlaying;
    if (state->mp3Active) {
        if (!Mp3SetSample(window, state, toEnd ? state->mp3TotalSamples - 1 : 0)) return 0;
    } else {
        StopRecordingUnderWay(state);
        // An empty parameter block: some waveaudio drivers (Wine's) refuse a null one.
        MCI_SEEK_PARMS seek = {};
        DWORD error = SendWait(state->mciDeviceId, MCI_SEEK, toEnd ? MCI_SEEK_TO_END : MCI_SEEK_TO_START, &seek);
        if (error) {
            MediaReportError(window, error);
            return 0;
        }
    }
    state->sessionState = StatePaused;
    if (wasPlaying) MediaPlay(window);
    ClearRepeat(state);
    return 1;
}

int MediaTop(HWND window) { return SeekToEdge(window, false); }
int MediaLast(HWND window) { return SeekToEdge(window, true); }

int MediaSeekTo(HWND window, int position) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState == StateClosed) return 1;
    const int length = MediaGetLength(window);
    if (position >= length) position = length - 1;
    if (position < 0) position = 0;  // also for an empty recording
    if (state->mp3Active) {
        if (!Mp3SetSample(window, state, MulDiv(position, state->mp3SampleRate, 1000))) return 0;
    } else {
        StopRecordingUnderWay(state);
        DWORD error;
        if (state->sessionState == StatePlaying) {
            MCI_PLAY_PARMS play = {};
            play.dwCallback = reinterpret_cast<DWORD_PTR>(window);
            play.dwFrom = static_cast<DWORD>(position);
            error = mciSendCommandA(state->mciDeviceId, MCI_PLAY, MCI_NOTIFY | MCI_FROM,
                                    reinterpret_cast<DWORD_PTR>(&play));
        } else {
            MCI_SEEK_PARMS seek = {};
            seek.dwTo = static_cast<DWORD>(position);
            error = SendWait(state->mciDeviceId, MCI_SEEK, MCI_TO, &seek);
        }
        if (error) {
            MediaReportError(window, error);
            return 0;
        }
    }
    ClearRepeat(state);
    return 1;
}

int MediaSeekRel(HWND window, int offset) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState == StateClosed) return 1;
    return MediaSeekTo(window, MediaGetPosition(window) + offset);
}

int MediaZero(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (state && state->sessionState != StateClosed) state->zeroMark = MediaGetPosition(window);
    return 1;
}

static int StatusMs(HWND window, DWORD item) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState == StateClosed) return 0;
    DWORD value = 0;
    DWORD error = StatusItem(state->mciDeviceId, item, &value);
    if (error) {
        MediaReportError(window, error);
        return 0;
    }
    return static_cast<int>(value);
}

int MediaGetLength(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (state && state->mp3Active && state->sessionState != StateClosed) return Mp3GetLength(state);
    return StatusMs(window, MCI_STATUS_LENGTH);
}

int MediaGetPosition(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (state && state->mp3Active && state->sessionState != StateClosed) return Mp3GetPosition(state);
    // A new recording has no position until it records (Wine's waveaudio
    // fails the query then).
    if (state && state->sessionState == StateRecordReady) return 0;
    return StatusMs(window, MCI_STATUS_POSITION);
}

int MediaGetMode(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return 0;
    if (state->mp3Active) {
        // A file so short that it ended while being held stands stopped in
        // the decoder; the session holds it paused.
        const int mode = Mp3GetMode(state);
        return mode == MCI_MODE_STOP && state->sessionState == StatePaused ? MCI_MODE_PAUSE : mode;
    }
    DWORD mode = 0;
    DWORD error = StatusItem(state->mciDeviceId, MCI_STATUS_MODE, &mode);
    if (error) {
        MediaReportError(window, error);
        return 0;
    }
    return static_cast<int>(mode);
}

int MediaGetDevCaps(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState != StateClosed || state->mp3Active) return 0;
    char deviceType[256] = "";
    LoadStringA(state->hInstance, IDS_WAVEAUDIO, deviceType, sizeof deviceType);
    MCI_OPEN_PARMSA open = {};
    open.lpstrDeviceType = deviceType;
    DWORD error = SendWait(0, MCI_OPEN, MCI_OPEN_TYPE, &open);
    if (error) {
        MediaReportError(window, error);
        return 0;
    }
    static constexpr DWORD kItems[] = {MCI_GETDEVCAPS_HAS_AUDIO, MCI_GETDEVCAPS_CAN_PLAY,
                                       MCI_GETDEVCAPS_CAN_RECORD, MCI_GETDEVCAPS_CAN_SAVE};
    int bits = 0;
    for (int i = 0; i < 4; ++i) {
        MCI_GETDEVCAPS_PARMS caps = {};
        caps.dwItem = kItems[i];
        error = SendWait(open.wDeviceID, MCI_GETDEVCAPS, MCI_GETDEVCAPS_ITEM, &caps);
        if (error) {
            MediaReportError(window, error);
            SendWait(open.wDeviceID, MCI_CLOSE, 0, nullptr);
            return 0;
        }
        if (caps.dwReturn) bits |= 1 << i;
    }
    SendWait(open.wDeviceID, MCI_CLOSE, 0, nullptr);
    return bits;
}

int MediaOpenForRecord(HWND window, int samplesPerSec, WORD bitsPerSample, WORD channels) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return 0;
    MediaClose(window);
    ClearDisplays(window);
    state->zeroMark = 0;
    ClearRepeat(state);

    char deviceType[256] = "";
    char newName[64] = "";
    LoadStringA(state->hInstance, IDS_WAVEAUDIO, deviceType, sizeof deviceType);
    LoadStringA(state->hInstance, IDS_NEWRECORDING, newName, sizeof newName);
    // Keep the waveaudio driver mapped for the process's life: Wine's driver
    // is unloaded at the last close while its record thread still runs in it.
    static HMODULE waveDriver = LoadLibraryA("mciwave.dll");
    (void)waveDriver;
    MCI_OPEN_PARMSA open = {};
    open.lpstrDeviceType = deviceType;
    open.lpstrElementName = "";
    DWORD error = SendWait(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, &open);
    if (error) {
        MediaReportError(window, error);
        return 0;
    }
    state->mciDeviceId = open.wDeviceID;
    SetFileNameText(window, newName);
    state->scrollScale = 1;
    SetBarRange(window, 0, 1);
    SetBarPosition(window, 0);
    state->sessionState = StateRecordReady;

    MCI_WAVE_SET_PARMS set = {};
    set.wFormatTag = WAVE_FORMAT_PCM;
    set.nChannels = channels;
    set.nSamplesPerSec = static_cast<DWORD>(samplesPerSec);
    set.nBlockAlign = static_cast<WORD>(bitsPerSample * channels / 8);
    set.nAvgBytesPerSec = static_cast<DWORD>(samplesPerSec) * set.nBlockAlign;
    set.wBitsPerSample = bitsPerSample;
    error = SendWait(state->mciDeviceId, MCI_SET,
                     MCI_WAVE_SET_FORMATTAG | MCI_WAVE_SET_CHANNELS | MCI_WAVE_SET_SAMPLESPERSEC |
                         MCI_WAVE_SET_AVGBYTESPERSEC | MCI_WAVE_SET_BLOCKALIGN | MCI_WAVE_SET_BITSPERSAMPLE,
                     &set);
    if (error) {
        MediaClose(window);
        MediaReportError(window, error);
        return 0;
    }
    return MediaSetTimeFormat(window) ? 1 : 0;
}

int MediaRecord(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState != StateRecordReady) return 0;
    MCI_RECORD_PARMS record = {};
    record.dwCallback = reinterpret_cast<DWORD_PTR>(window);
    DWORD error = mciSendCommandA(state->mciDeviceId, MCI_RECORD, MCI_NOTIFY,
                                  reinterpret_cast<DWORD_PTR>(&record));
    if (error) {
        MediaClose(window);
        MediaReportError(window, error);
        return 0;
    }
    state->sessionState = StateRecording;
    return 1;
}

int MediaStopRecord(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState != StateRecording) return 0;
    if (DWORD error = StopRecordingUnderWay(state)) {
        MediaClose(window);
        MediaReportError(window, error);
        return 0;
    }
    return 1;
}

int MediaSaveAs(HWND window, const char *path) {
    PlayerState *state = GetPlayerState(window);
    if (!state || state->sessionState != StateRecorded || !path) return 0;
    if (lstrlenA(path) >= kPathSize) {
        MediaReportError(window, MCIERR_FILE_NOT_FOUND);
        return 0;
    }
    MCI_SAVE_PARMSA save = {};
    save.lpfilename = path;
    DWORD error = SendWait(state->mciDeviceId, MCI_SAVE, MCI_SAVE_FILE, &save);
    if (error) {
        MediaReportError(window, error);
        return 0;
    }
    MediaClose(window);
    return 1;
}

int MediaOnNotify(HWND window, WPARAM flags, LPARAM lParam) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return 1;
    if (state->mp3Active) return Mp3OnNotify(window, state, lParam);
    if (flags == MCI_NOTIFY_SUCCESSFUL && LOWORD(lParam) == state->mciDeviceId && state->mciDeviceId) {
        if (state->sessionState == StatePlaying) state->sessionState = StateOpened;
        else if (state->sessionState == StateRecording) state->sessionState = StateRecorded;
    }
    return 1;
}

void MediaReportError(HWND window, DWORD error) {
    PlayerState *state = GetPlayerState(window);
    if (state) ReportError(window, error, state->mp3Active != 0);
}
