#include "joystick_sampling.h"
#include "res/resource.h"
#include "../common/dde_client.h"
#include "host_system.h"

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

namespace {

// Kills the running event and starts one at the given pace: every 10 ms
// with the timer's resolution raised, or every second to ask the joysticks
// that do not answer. With TIME_KILL_SYNCHRONOUS no callback of the old event
// begins after the kill; one that began before is waited for.
void SetSamplePace(HWND window, PadwigState *state, UINT period) {
    if (state->sampleEventId) {
        g_joystickApi.timeKillEvent(state->sampleEventId);
        state->sampleEventId = 0;
        while (InterlockedCompareExchange(&samplesInside, 0, 0) != 0) Sleep(1);
    }
    const bool fast = period == kSampleMs;
    if (fast && !state->timerResolution) {
        state->timerResolution = state->sampleResolution;
        g_joystickApi.timeBeginPeriod(state->timerResolution);
    } else if (!fast && state->timerResolution) {
        g_joystickApi.timeEndPeriod(state->timerResolution);
        state->timerResolution = 0;
    }
    state->samplePeriod = period;
    InterlockedExchange(&state->passesAtPace, 0);
    state->sampleEventId = g_joystickApi.timeSetEvent(period, fast ? state->sampleResolution : kProbeMs / 10,
                                                      SampleTimerCallback, reinterpret_cast<DWORD_PTR>(window),
                                                      kSampleFlags);
}

// The changes from the settled word to `buttons` go into the joystick's
// queue, lowest button first; any that do not fit stay unsettled and are
// seen again at the next pass.
void SettleButtons(PadwigState *state, int j, DWORD buttons) {
    EdgeQueue &queue = state->edgeQueues[j];
    DWORD settled = state->stableButtons[j];
    const DWORD changed = settled ^ buttons;
    for (int k = 0; k < kButtonMax && (changed >> k); ++k) {
        const DWORD bit = 1u << k;
        if (!(changed & bit)) continue;
        const ULONG added = static_cast<ULONG>(queue.added);
        if (added - static_cast<ULONG>(queue.taken) >= kEdgeQueueSize) break;
        queue.edges[added % kEdgeQueueSize] = static_cast<BYTE>(k | ((buttons & bit) ? kEdgePress : 0));
        InterlockedIncrement(&queue.added);
        settled ^= bit;
    }
    state->stableButtons[j] = settled;
}

const ButtonBinding *ActiveBinding(const PadwigState *state, int joystick, int button) {
    const RecordArray &bindings = state->activeBindings;
    for (int i = 0; i < bindings.count; ++i) {
        const ButtonBinding *binding = BindingAt(bindings, i);
        if (static_cast<int>(binding->joystick) == joystick && static_cast<int>(binding->button) == button)
            return binding;
    }
    return nullptr;
}

}  // namespace

void StartSampling(HWND window) {
    PadwigState *state = GetPadwigState(window);
    if (!state) return;
    state->pollTimerId = g_setTimer(window, kPollTimerId, kPollMs, nullptr) ? kPollTimerId : 0;
    for (int j = 0; j < state->joystickCount; ++j) {
        state->lastSample[j] = 0;
        state->stableButtons[j] = 0;
        state->handledButtons[j] = 0;
        state->edgeQueues[j].added = state->edgeQueues[j].taken = 0;
        state->answering[j] = false;
        state->failedSamples[j] = 0;
        state->nextProbe[j] = g_joystickApi.getTickCount();  // every joystick is asked at the first pass
    }
    state->answeringCount = 0;
    state->timerResolution = 0;
    // The window lives in the tray, hidden: without this Windows 11 would
    // sample at its default resolution of about 15.6 ms and lose short taps.
    KeepTimerResolutionWhenHidden();
    state->sampleEventId = 0;
    TIMECAPS caps = {};
    if (g_joystickApi.timeGetDevCaps(&caps, sizeof caps) != TIMERR_NOERROR) {
        state->sampleResolution = 0;  // nothing is sampled for the window's life
    } else {
        state->sampleResolution =
            caps.wPeriodMin <= kSampleMs && kSampleMs <= caps.wPeriodMax ? kSampleMs : caps.wPeriodMin;
        SetSamplePace(window, state, kSampleMs);
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
    const DWORD now = g_joystickApi.getTickCount();
    const bool probing = state->samplePeriod != kSampleMs;  // the once-a-second pass: ask every one
    // On Windows an id with no joystick is slow to answer: while one answers,
    // a pass asks at most one of the others, so as not to hold its sampling.
    const bool oneAnswers = state->answeringCount != 0;  // after the last pass, written by this thread
    bool probeTaken = false;
    LONG answering = 0;
    for (int j = 0; j < state->joystickCount; ++j) {
        if (!state->answering[j] && !probing) {
            if (static_cast<LONG>(now - state->nextProbe[j]) < 0 || (oneAnswers && probeTaken)) continue;
            probeTaken = true;
        }
        JOYINFOEX info = {};
        info.dwSize = sizeof info;
        info.dwFlags = JOY_RETURNBUTTONS;
        if (g_joystickApi.joyGetPosEx(static_cast<UINT>(j), &info) != JOYERR_NOERROR) {
            // One failed call keeps the words; a run of them is an unplug,
            // which lets go of every button held.
            if (state->answering[j] && ++state->failedSamples[j] >= kUnplugSamples) {
                state->answering[j] = false;
                SettleButtons(state, j, 0);
                state->lastSample[j] = 0;
            }
            if (state->answering[j]) ++answering;
            else state->nextProbe[j] = now + kProbeMs;
            continue;
        }
        state->answering[j] = true;
        state->failedSamples[j] = 0;
        ++answering;
        const DWORD buttons = info.dwButtons;
        if (buttons == state->lastSample[j]) SettleButtons(state, j, buttons);
        state->lastSample[j] = buttons;
    }
    InterlockedExchange(&state->answeringCount, answering);
    InterlockedIncrement(&state->passesAtPace);
}

BOOL OnPollTimer(HWND window, UINT_PTR id) {
    PadwigState *state = GetPadwigState(window);
    if (!state || !id) return FALSE;
    if (id == state->pollTimerId) {
        DispatchButtonChanges(window);
        RefreshJoystickStatus(window);
        // The pace follows what a whole pass found: a busy machine may tick
        // before the first pass at a pace has ended.
        if (state->sampleResolution && InterlockedCompareExchange(&state->passesAtPace, 0, 0)) {
            const UINT pace = InterlockedCompareExchange(&state->answeringCount, 0, 0) ? kSampleMs : kProbeMs;
            if (pace != state->samplePeriod) SetSamplePace(window, state, pace);
        }
        return TRUE;
    }
    return FALSE;  // the tray timer is the frame's
}

void DispatchButtonChanges(HWND window) {
    PadwigState *state = GetPadwigState(window);
    if (!state) return;
    for (int j = 0; j < state->joystickCount; ++j) {
        EdgeQueue &queue = state->edgeQueues[j];
        // Edges in the order they happened; the first that sends a command
        // ends this joystick's turn, and the rest wait for the next tick.
        // The count is read with a barrier: the entries it covers are whole.
        while (queue.taken != InterlockedCompareExchange(&queue.added, 0, 0)) {
            const BYTE edge = queue.edges[static_cast<ULONG>(queue.taken) % kEdgeQueueSize];
            InterlockedIncrement(&queue.taken);
            const int button = edge & 31;
            const bool press = (edge & kEdgePress) != 0;
            if (press) state->handledButtons[j] |= 1u << button;
            else state->handledButtons[j] &= ~(1u << button);
            const ButtonBinding *binding = ActiveBinding(state, j, button);
            const char *text = binding ? CommandText(window, press ? binding->pressCommand : binding->releaseCommand)
                                       : nullptr;
            if (!text) continue;
            DdeClientExecute(window, text);
            break;
        }
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
    state->timerResolution = 0;
}
