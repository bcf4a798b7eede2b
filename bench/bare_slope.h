// What the bare programs share: their resident size, and its least-squares
// slope over the rounds they sampled.
#pragma once
#include <windows.h>
#include <psapi.h>
#include <vector>

inline double ResidentBytes(HANDLE process = GetCurrentProcess()) {
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, &memory, sizeof memory);
    return static_cast<double>(memory.WorkingSetSize);
}

// Bytes per round of y (sampled at rounds x).
inline double SlopePerRound(const std::vector<double> &x, const std::vector<double> &y) {
    double mx = 0, my = 0;
    for (size_t i = 0; i < x.size(); ++i) mx += x[i], my += y[i];
    mx /= x.size(), my /= y.size();
    double sxy = 0, sxx = 0;
    for (size_t i = 0; i < x.size(); ++i) sxy += (x[i] - mx) * (y[i] - my), sxx += (x[i] - mx) * (x[i] - mx);
    return sxy / sxx;
}
