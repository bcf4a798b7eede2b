// Sampling the joysticks' buttons every 10 ms, and turning settled changes
// into commands on the window's 50 ms timer.
#pragma once
#include "padwig_state.h"

constexpr UINT_PTR kPollTimerId = 1;
constexpr UINT kPollMs = 50;
constexpr UINT kSampleMs = 10;
constexpr DWORD kStatusMs = 500;

void CountJoysticks(HWND window);
void StartSampling(HWND window);
void CALLBACK SampleTimerCallback(UINT eventId, UINT message, DWORD_PTR user, DWORD_PTR reserved1,
                                  DWORD_PTR reserved2);
void SampleJoysticks(PadwigState *state);
BOOL OnPollTimer(HWND window, UINT_PTR id);
void DispatchButtonChanges(HWND window);
void RefreshJoystickStatus(HWND window);
void StopSampling(HWND window);
