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
    UINT timerResolution;
    volatile UINT sampleEventId;
    DWORD lastStatusTick;
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
