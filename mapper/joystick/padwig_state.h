// The joystick mapper's record: the frame's fields, then the button lists,
// the bindings in force and the sampling state.
#pragma once
#include "../common/mapper_state.h"
#include <mmsystem.h>

constexpr int kJoystickMax = 16;
constexpr int kButtonMax = 32;

struct ButtonBinding {
    DWORD joystick;      // 0 to 15
    DWORD button;        // 0 to 31, the bit in the button word
    int pressCommand;    // command list index; 0 = none
    int releaseCommand;
    char label[32];
};
static_assert(sizeof(ButtonBinding) == 48, "button binding");

// The confirmed button edges of one joystick, in the order they happened:
// put in by the sampling thread, taken out by the window's thread. Each
// side writes only its own count, with interlocked operations, so that an
// edge is seen whole once it is counted in.
constexpr int kEdgeQueueSize = 64;
constexpr BYTE kEdgePress = 0x80;  // or'ed into the button number (0 to 31)
struct EdgeQueue {
    volatile LONG added;  // edges put in so far
    volatile LONG taken;  // edges taken out so far
    BYTE edges[kEdgeQueueSize];
};

struct PadwigState : MapperState {
    RecordArray buttonLists[kJoystickMax];
    RecordArray activeBindings;
    int joystickCount;
    UINT_PTR pollTimerId;
    // Written by the sampling thread (lastSample, stableButtons) or by the
    // window's thread (handledButtons): whole aligned words, one writer each.
    volatile DWORD lastSample[kJoystickMax];
    volatile DWORD stableButtons[kJoystickMax];
    DWORD handledButtons[kJoystickMax];
    UINT timerResolution;         // raised now, or 0
    volatile UINT sampleEventId;
    DWORD lastStatusTick;
    // Sampling's own: the edges, which joysticks answer, and the pace.
    EdgeQueue edgeQueues[kJoystickMax];
    bool answering[kJoystickMax];     // sampled every pass while it answers
    int failedSamples[kJoystickMax];  // in a row, while answering
    DWORD nextProbe[kJoystickMax];    // when one that does not answer is asked again
    volatile LONG answeringCount;     // after the last pass
    volatile LONG passesAtPace;       // passes ended since the pace was set
    UINT sampleResolution;            // for the 10 ms pace; 0: no sampling at all
    UINT samplePeriod;                // of the event running now
};
static_assert(alignof(DWORD) == 4, "sample words are naturally aligned");

inline PadwigState *GetPadwigState(HWND window) { return static_cast<PadwigState *>(GetMapperState(window)); }

inline ButtonBinding *BindingAt(const RecordArray &list, int index) {
    return static_cast<ButtonBinding *>(RecordArrayEntry(&list, index, sizeof(ButtonBinding)));
}

// The joystick, timer and clock calls the mapper makes, winmm's by default.
struct JoystickApi {
    UINT(WINAPI *joyGetNumDevs)();
    MMRESULT(WINAPI *joyGetPosEx)(UINT id, LPJOYINFOEX info);
    MMRESULT(WINAPI *joyGetDevCapsA)(UINT_PTR id, LPJOYCAPSA caps, UINT size);
    MMRESULT(WINAPI *joyGetPos)(UINT id, LPJOYINFO info);
    MMRESULT(WINAPI *timeGetDevCaps)(LPTIMECAPS caps, UINT size);
    MMRESULT(WINAPI *timeBeginPeriod)(UINT period);
    MMRESULT(WINAPI *timeEndPeriod)(UINT period);
    MMRESULT(WINAPI *timeSetEvent)(UINT delay, UINT resolution, LPTIMECALLBACK callback, DWORD_PTR user, UINT flags);
    MMRESULT(WINAPI *timeKillEvent)(UINT id);
    DWORD(WINAPI *getTickCount)();
    BOOL(WINAPI *getVersionExA)(LPOSVERSIONINFOA info);
};
extern JoystickApi g_joystickApi;
