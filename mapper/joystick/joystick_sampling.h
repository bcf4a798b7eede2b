// Sampling the joysticks' buttons every 10 ms, and turning confirmed edges
// into commands on the window's 50 ms timer, one per joystick and tick.
// Joysticks that do not answer are asked about once a second; while none
// answers, the 10 ms sampling (and the raised timer resolution) rest.
#pragma once
#include "padwig_state.h"

constexpr UINT_PTR kPollTimerId = 1;
constexpr UINT kPollMs = 50;
constexpr UINT kSampleMs = 10;
constexpr DWORD kStatusMs = 500;
constexpr UINT kProbeMs = 1000;       // a joystick that does not answer is asked again
constexpr int kUnplugSamples = 5;     // failed samples in a row that count as unplugged
constexpr UINT kSampleFlags = TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS;

void CountJoysticks(HWND window);
void StartSampling(HWND window);
void CALLBACK SampleTimerCallback(UINT eventId, UINT message, DWORD_PTR user, DWORD_PTR reserved1,
                                  DWORD_PTR reserved2);
void SampleJoysticks(PadwigState *state);
BOOL OnPollTimer(HWND window, UINT_PTR id);
void DispatchButtonChanges(HWND window);
void RefreshJoystickStatus(HWND window);
void StopSampling(HWND window);
