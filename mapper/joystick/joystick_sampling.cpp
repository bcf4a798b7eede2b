#include "joystick_sampling.h"
#include "res/resource.h"
#include "../common/dde_client.h"

namespace {

// Sampling passes under way; teardown waits for them to end before the
// record goes.
volatile LONG samplesInside = 0;

}  // namespace

void CountJoysticks(HWND window) {
    PadwigState *state = GetPadwigState(window);
    if (!state) return;
    UINT count = kJoystickMax;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (g_joystickApi.getVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
        version.dwMajorVersion <= 4)
        count = 2;
    const UINT devices = g_joystickApi.joyGetNumDevs();
    if (devices < count) count = devices;
    if (count < 2) count = 2;
    state->joystickCount = static_cast<int>(count);
}

void StartSampling(HWND window) {
    PadwigState *state = GetPadwigState(window);
    if (!state) return;
    state->pollTimerId = SetTimer(window, kPollTimerId, kPollMs, nullptr);
    for (int j = 0; j < state->joystickCount; ++j) {
        state->lastSample[j] = 0;
        state->stableButtons[j] = 0;
        state->handledButtons[j] = 0;
    }
    TIMECAPS caps = {};
    if (g_joystickApi.timeGetDevCaps(&caps, sizeof caps) != TIMERR_NOERROR) {
        state->timerResolution = 0;
        state->sampleEventId = 0;
    } else {
        const UINT resolution = caps.wPeriodMin <= kSampleMs && kSampleMs <= caps.wPeriodMax ? kSampleMs
                                                                                             : caps.wPeriodMin;
        state->timerResolution = resolution;
        g_joystickApi.timeBeginPeriod(resolution);
        state->sampleEventId = g_joystickApi.timeSetEvent(kSampleMs, resolution, SampleTimerCallback,
                                                          reinterpret_cast<DWORD_PTR>(window), TIME_PERIODIC);
    }
    state->lastStatusTick = 0;
}

void CALLBACK SampleTimerCallback(UINT eventId, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    InterlockedIncrement(&samplesInside);
    PadwigState *state = GetPadwigState(reinterpret_cast<HWND>(user));
    if (state && eventId && eventId == state->sampleEventId) SampleJoysticks(state);
    InterlockedDecrement(&samplesInside);
}

void SampleJoysticks(PadwigState *state) {
    for (int j = 0; j < state->joystickCount; ++j) {
        JOYINFOEX info = {};
        info.dwSize = sizeof info;
        info.dwFlags = JOY_RETURNBUTTONS;
        if (g_joystickApi.joyGetPosEx(static_cast<UINT>(j), &info) != JOYERR_NOERROR) continue;
        const DWORD buttons = info.dwButtons;
        if (buttons == state->lastSample[j]) state->stableButtons[j] = buttons;
        state->lastSample[j] = buttons;
    }
}

BOOL OnPollTimer(HWND window, UINT_PTR id) {
    PadwigState *state = GetPadwigState(window);
    if (!state || !id) return FALSE;
    if (id == state->pollTimerId) {
        DispatchButtonChanges(window);
        RefreshJoystickStatus(window);
        return TRUE;
    }
    return FALSE;  // the tray timer is the frame's
}

void DispatchButtonChanges(HWND window) {
    PadwigState *state = GetPadwigState(window);
    if (!state) return;
    for (int j = 0; j < state->joystickCount; ++j) {
        const DWORD settled = state->stableButtons[j];
        if (settled == state->handledButtons[j]) continue;
        const DWORD changed = settled ^ state->handledButtons[j];
        const RecordArray &bindings = state->activeBindings;
        for (int i = 0; i < bindings.count; ++i) {
            const ButtonBinding *binding = BindingAt(bindings, i);
            const DWORD bit = 1u << (binding->button & 31);
            if (static_cast<int>(binding->joystick) != j || !(changed & bit)) continue;
            const int command = (settled & bit) ? binding->pressCommand : binding->releaseCommand;
            if (const char *text = CommandText(window, command)) DdeClientExecute(window, text);
            break;  // one command per joystick and tick
        }
        state->handledButtons[j] = settled;
    }
}

void RefreshJoystickStatus(HWND window) {
    PadwigState *state = GetPadwigState(window);
    if (!state) return;
    // A last tick of 0 asks for a reading now, also in the first 500 ms after
    // the clock wraps.
    const DWORD now = g_joystickApi.getTickCount();
    if (state->lastStatusTick && now - state->lastStatusTick < kStatusMs) return;
    const LRESULT selected = SendDlgItemMessageA(window, IDC_JOYSTICK, CB_GETCURSEL, 0, 0);
    if (selected != CB_ERR) {
        const UINT id = static_cast<UINT>(selected);
        JOYCAPSA caps;
        JOYINFO info;
        int text = IDS_STATUS_USABLE;
        if (g_joystickApi.joyGetDevCapsA(id, &caps, sizeof caps) != JOYERR_NOERROR) text = IDS_STATUS_UNUSABLE;
        else if (g_joystickApi.joyGetPos(id, &info) != JOYERR_NOERROR) text = IDS_STATUS_NOT_CONNECTED;
        char wanted[kTextSize] = "";
        char shown[kTextSize] = "";
        LoadStringA(state->instance, text, wanted, sizeof wanted);
        GetDlgItemTextA(window, IDC_STATUS, shown, sizeof shown);
        if (lstrcmpA(wanted, shown) != 0) SetDlgItemTextA(window, IDC_STATUS, wanted);
    }
    state->lastStatusTick = now;
}

void StopSampling(HWND window) {
    PadwigState *state = GetPadwigState(window);
    if (!state) return;
    if (state->pollTimerId) KillTimer(window, state->pollTimerId);
    state->pollTimerId = 0;
    if (state->sampleEventId) g_joystickApi.timeKillEvent(state->sampleEventId);
    state->sampleEventId = 0;
    // A pass that began before the event ended may still run on the record.
    while (InterlockedCompareExchange(&samplesInside, 0, 0) != 0) Sleep(1);
    if (state->timerResolution) g_joystickApi.timeEndPeriod(state->timerResolution);
}
