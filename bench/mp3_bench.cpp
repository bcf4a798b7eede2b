// The decoder library's figures for one file: open time, seek time and the
// check that the position right after a seek is the target, and the CPU time
// this process uses per minute of playback.
//   mp3_bench VBMP3.DLL FILE.mp3 PLAY_SECONDS
// Prints: open_ms seek_mean_ms seek_max_ms seek_mismatches cpu_ms_per_minute
//   mp3_bench --waveout PLAY_SECONDS
// The output path alone: 44.1 kHz stereo PCM through waveOut with the same
// buffering (4 x 250 ms, event callback). Prints cpu_ms_per_minute.
#include <windows.h>
#include <mmsystem.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

typedef BOOL(WINAPI *BoolProc)();
typedef BOOL(WINAPI *OpenProc)(const char *, void *);
typedef BOOL(WINAPI *SetProc)(int);
typedef int(WINAPI *GetProc)();

template <typename Proc> Proc Entry(HMODULE library, const char *name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void *>(GetProcAddress(library, name)));
}

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

double CpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME &t) { return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 10000.0; };
    return ms(kernel) + ms(user);
}

int PlayPcmOnly(int seconds) {
    constexpr int kRate = 44100, kBuffers = 4, kFrames = kRate / 4;
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 2, kRate, kRate * 4, 4, 16, 0};
    HANDLE wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HWAVEOUT wave = nullptr;
    if (waveOutOpen(&wave, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(wake), 0, CALLBACK_EVENT)) return 1;
    std::vector<short> pcm[kBuffers];
    WAVEHDR headers[kBuffers] = {};
    long phase = 0;
    auto fill = [&](int i) {
        for (int f = 0; f < kFrames; ++f, ++phase) pcm[i][2 * f] = pcm[i][2 * f + 1] = static_cast<short>((phase % 100) * 100 - 5000);
        headers[i].dwFlags &= ~WHDR_DONE;
        waveOutWrite(wave, &headers[i], sizeof headers[i]);
    };
    for (int i = 0; i < kBuffers; ++i) {
        pcm[i].resize(kFrames * 2);
        headers[i].lpData = reinterpret_cast<LPSTR>(pcm[i].data());
        headers[i].dwBufferLength = kFrames * 4;
        waveOutPrepareHeader(wave, &headers[i], sizeof headers[i]);
    }
    const double cpu0 = CpuMs();
    for (int i = 0; i < kBuffers; ++i) fill(i);
    for (const DWORD start = GetTickCount(); GetTickCount() - start < static_cast<DWORD>(seconds) * 1000;) {
        WaitForSingleObject(wake, 100);
        for (int i = 0; i < kBuffers; ++i)
            if (headers[i].dwFlags & WHDR_DONE) fill(i);
    }
    const double cpu = CpuMs() - cpu0;
    waveOutReset(wave);
    for (int i = 0; i < kBuffers; ++i) waveOutUnprepareHeader(wave, &headers[i], sizeof headers[i]);
    waveOutClose(wave);
    CloseHandle(wake);
    printf("%.0f\n", cpu * 60.0 / seconds);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 3 && lstrcmpA(argv[1], "--waveout") == 0) return PlayPcmOnly(atoi(argv[2]));
    if (argc < 4) return 3;
    HMODULE library = LoadLibraryA(argv[1]);
    if (!library) return 2;
    auto init = Entry<BoolProc>(library, "vbmp3_init");
    auto open = Entry<OpenProc>(library, "vbmp3_open");
    auto close = Entry<BoolProc>(library, "vbmp3_close");
    auto play = Entry<BoolProc>(library, "vbmp3_play");
    auto pause = Entry<BoolProc>(library, "vbmp3_pause");
    auto setSample = Entry<SetProc>(library, "vbmp3_setPlaySamples");
    auto getSample = Entry<GetProc>(library, "vbmp3_getPlaySamples");
    auto total = Entry<GetProc>(library, "vbmp3_getTotalSamples");
    if (!init || !open || !close || !play || !pause || !setSample || !getSample || !total) return 2;
    init();
    alignas(4) BYTE info[272];

    // Open: median of 5 (the file is in the page cache after the first).
    std::vector<double> opens;
    for (int i = 0; i < 5; ++i) {
        const double t = Now();
        if (!open(argv[2], info)) return 1;
        opens.push_back(Now() - t);
        if (i < 4) close();
    }
    std::sort(opens.begin(), opens.end());

    // Seeks while paused, spread over the file, then while playing.
    const int samples = total();
    if (!play()) return 1;
    Sleep(300);
    pause();
    double seekSum = 0, seekMax = 0;
    int mismatches = 0, seeks = 0;
    for (int i = 1; i <= 20; ++i) {
        const int target = static_cast<int>(static_cast<long long>(samples) * i / 22);
        const double t = Now();
        setSample(target);
        const double took = Now() - t;
        if (getSample() != target) ++mismatches;
        seekSum += took;
        seekMax = std::max(seekMax, took);
        ++seeks;
    }

    // Playback from the middle for the given seconds.
    const int seconds = atoi(argv[3]);
    setSample(samples / 2);
    const double cpu0 = CpuMs();
    play();
    Sleep(static_cast<DWORD>(seconds) * 1000);
    const double cpu = CpuMs() - cpu0;
    pause();
    close();
    printf("%.1f %.2f %.2f %d %.0f\n", opens[2], seekSum / seeks, seekMax, mismatches, cpu * 60.0 / seconds);
    return 0;
}
