// Playing and recording through MCI: the device the file's extension names
// in the profile's MCI extensions section, waveaudio when it names none.
#include "media/mci_backend.h"
#include "res/resource.h"
#include "host_system.h"
#include "text_blocks.h"
#include <mmsystem.h>

namespace {

constexpr int kMaxPlayAttempts = 5;
constexpr int kLateStartLooks = 10;
constexpr DWORD kLateStartStepMs = 50;

DWORD SendWait(MCIDEVICEID device, UINT message, DWORD flags, void *params) {
    return mciSendCommandA(device, message, flags | MCI_WAIT, reinterpret_cast<DWORD_PTR>(params));
}

DWORD SendNotify(MCIDEVICEID device, UINT message, DWORD flags, void *params) {
    return mciSendCommandA(device, message, flags | MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(params));
}

DWORD StatusItem(MCIDEVICEID device, DWORD item, DWORD *value) {
    MCI_STATUS_PARMS status = {};
    status.dwItem = item;
    DWORD error = SendWait(device, MCI_STATUS, MCI_STATUS_ITEM, &status);
    *value = error ? 0 : static_cast<DWORD>(status.dwReturn);
    return error;
}

DWORD StatusMs(const PlayerState *state, DWORD item, int *ms) {
    DWORD value = 0;
    const DWORD error = StatusItem(state->mciDeviceId, item, &value);
    *ms = static_cast<int>(value);
    return error;
}

void CloseDevice(PlayerState *state) {
    if (state->mciDeviceId) SendWait(state->mciDeviceId, MCI_CLOSE, 0, nullptr);
    state->mciDeviceId = 0;
}

// Opens `path` (nullptr: a new recording) on `deviceType`, times in milliseconds.
DWORD OpenDevice(PlayerState *state, const char *deviceType, const char *path) {
    MCI_OPEN_PARMSA open = {};
    open.lpstrDeviceType = deviceType;
    open.lpstrElementName = path ? path : "";
    DWORD error = SendWait(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, &open);
    if (error) return error;
    state->mciDeviceId = open.wDeviceID;
    MCI_SET_PARMS set = {};
    set.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
    error = SendWait(state->mciDeviceId, MCI_SET, MCI_SET_TIME_FORMAT, &set);
    if (error) CloseDevice(state);
    return error;
}

bool Accepts(const PlayerState *, const char *) { return true; }

DWORD Open(HWND, PlayerState *state, const char *path) {
    char deviceType[256] = "";
    char section[64] = "";
    LoadStringA(state->hInstance, IDS_WAVEAUDIO, deviceType, sizeof deviceType);
    LoadStringA(state->hInstance, IDS_MCI_EXTENSIONS, section, sizeof section);
    char fallback[256];
    lstrcpynA(fallback, deviceType, sizeof fallback);
    GetProfileStringA(section, PathExtension(path), fallback, deviceType, sizeof deviceType);
    return OpenDevice(state, deviceType, path);
}

DWORD Mode(const PlayerState *state, int *mode) {
    DWORD value = 0;
    const DWORD error = StatusItem(state->mciDeviceId, MCI_STATUS_MODE, &value);
    *mode = static_cast<int>(value);
    return error;
}

DWORD Play(HWND window, PlayerState *state, bool *playing) {
    *playing = false;
    for (int attempt = 0; attempt < kMaxPlayAttempts && !*playing; ++attempt) {
        MCI_PLAY_PARMS play = {};
        play.dwCallback = reinterpret_cast<DWORD_PTR>(window);
        if (DWORD error = SendNotify(state->mciDeviceId, MCI_PLAY, 0, &play)) return error;
        int mode = 0;
        if (DWORD error = Mode(state, &mode)) return error;
        *playing = mode == MCI_MODE_PLAY;
    }
    // A busy machine may start the play a moment later; a device that is not
    // there never does.
    for (int look = 0; look < kLateStartLooks && !*playing; ++look) {
        Sleep(kLateStartStepMs);
        int mode = 0;
        if (DWORD error = Mode(state, &mode)) return error;
        *playing = mode == MCI_MODE_PLAY;
    }
    return 0;
}

DWORD Pause(PlayerState *state) { return SendWait(state->mciDeviceId, MCI_PAUSE, 0, nullptr); }

DWORD SeekTo(HWND window, PlayerState *state, int position) {
    if (state->sessionState == StatePlaying) {
        MCI_PLAY_PARMS play = {};
        play.dwCallback = reinterpret_cast<DWORD_PTR>(window);
        play.dwFrom = static_cast<DWORD>(position);
        return SendNotify(state->mciDeviceId, MCI_PLAY, MCI_FROM, &play);
    }
    MCI_SEEK_PARMS seek = {};
    seek.dwTo = static_cast<DWORD>(position);
    return SendWait(state->mciDeviceId, MCI_SEEK, MCI_TO, &seek);
}

DWORD SeekToEdge(PlayerState *state, bool toEnd) {
    // An empty parameter block: some waveaudio drivers (Wine's) refuse a null one.
    MCI_SEEK_PARMS seek = {};
    return SendWait(state->mciDeviceId, MCI_SEEK, toEnd ? MCI_SEEK_TO_END : MCI_SEEK_TO_START, &seek);
}

DWORD Length(const PlayerState *state, int *ms) { return StatusMs(state, MCI_STATUS_LENGTH, ms); }
DWORD Position(const PlayerState *state, int *ms) { return StatusMs(state, MCI_STATUS_POSITION, ms); }

bool IsEnd(const PlayerState *state, WPARAM flags, LPARAM lParam) {
    return flags == MCI_NOTIFY_SUCCESSFUL && state->mciDeviceId && LOWORD(lParam) == state->mciDeviceId;
}

void ErrorText(const PlayerState *, DWORD error, char *text) { mciGetErrorStringA(error, text, 256); }

}  // namespace

const MediaBackend kMciBackend = {
    Accepts, Open, CloseDevice, nullptr, Play, Pause, SeekTo, SeekToEdge,
    Length, Position, Mode, IsEnd, ErrorText,
};

DWORD MciOpenNewRecording(PlayerState *state, int samplesPerSec, WORD bitsPerSample, WORD channels) {
    char deviceType[256] = "";
    LoadStringA(state->hInstance, IDS_WAVEAUDIO, deviceType, sizeof deviceType);
    // Keep the waveaudio driver mapped for the process's life: Wine's driver
    // is unloaded at the last close while its record thread still runs in it.
    // Windows' driver has no such thread.
    static HMODULE waveDriver = RunningUnderWine() ? LoadSystemLibrary("mciwave.dll") : nullptr;
    (void)waveDriver;
    if (DWORD error = OpenDevice(state, deviceType, nullptr)) return error;
    MCI_WAVE_SET_PARMS set = {};
    set.wFormatTag = WAVE_FORMAT_PCM;
    set.nChannels = channels;
    set.nSamplesPerSec = static_cast<DWORD>(samplesPerSec);
    set.nBlockAlign = static_cast<WORD>(bitsPerSample * channels / 8);
    set.nAvgBytesPerSec = static_cast<DWORD>(samplesPerSec) * set.nBlockAlign;
    set.wBitsPerSample = bitsPerSample;
    const DWORD error = SendWait(state->mciDeviceId, MCI_SET,
                                 MCI_WAVE_SET_FORMATTAG | MCI_WAVE_SET_CHANNELS | MCI_WAVE_SET_SAMPLESPERSEC |
                                     MCI_WAVE_SET_AVGBYTESPERSEC | MCI_WAVE_SET_BLOCKALIGN |
                                     MCI_WAVE_SET_BITSPERSAMPLE,
                                 &set);
    if (error) CloseDevice(state);
    return error;
}

DWORD MciRecord(HWND window, PlayerState *state) {
    MCI_RECORD_PARMS record = {};
    record.dwCallback = reinterpret_cast<DWORD_PTR>(window);
    return SendNotify(state->mciDeviceId, MCI_RECORD, 0, &record);
}

DWORD MciStop(PlayerState *state) {
    return state->mciDeviceId ? SendWait(state->mciDeviceId, MCI_STOP, 0, nullptr) : 0;
}

bool g_mciDeviceLeft = false;

void MciLeaveDevice(PlayerState *state) {
    state->mciDeviceId = 0;
    g_mciDeviceLeft = true;
}

DWORD MciSave(PlayerState *state, const char *path) {
    MCI_SAVE_PARMSA save = {};
    save.lpfilename = path;
    return SendWait(state->mciDeviceId, MCI_SAVE, MCI_SAVE_FILE, &save);
}

DWORD MciDevCaps(PlayerState *state, int *bits) {
    *bits = 0;
    char deviceType[256] = "";
    LoadStringA(state->hInstance, IDS_WAVEAUDIO, deviceType, sizeof deviceType);
    MCI_OPEN_PARMSA open = {};
    open.lpstrDeviceType = deviceType;
    DWORD error = SendWait(0, MCI_OPEN, MCI_OPEN_TYPE, &open);
    if (error) return error;
    static constexpr DWORD kItems[] = {MCI_GETDEVCAPS_HAS_AUDIO, MCI_GETDEVCAPS_CAN_PLAY,
                                       MCI_GETDEVCAPS_CAN_RECORD, MCI_GETDEVCAPS_CAN_SAVE};
    for (int i = 0; i < 4 && !error; ++i) {
        MCI_GETDEVCAPS_PARMS caps = {};
        caps.dwItem = kItems[i];
        error = SendWait(open.wDeviceID, MCI_GETDEVCAPS, MCI_GETDEVCAPS_ITEM, &caps);
        if (!error && caps.dwReturn) *bits |= 1 << i;
    }
    SendWait(open.wDeviceID, MCI_CLOSE, 0, nullptr);
    if (error) *bits = 0;
    return error;
}
