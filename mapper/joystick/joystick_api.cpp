#include "padwig_state.h"

JoystickApi g_joystickApi = {
    joyGetNumDevs, joyGetPosEx,     joyGetDevCapsA, joyGetPos,    timeGetDevCaps, timeBeginPeriod,
    timeEndPeriod, timeSetEvent,    timeKillEvent,  GetTickCount, GetVersionExA,
};
