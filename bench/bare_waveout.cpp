// A bare waveOut player doing only what the player's own way of playing
// does: 16-bit PCM in 10 ms buffers, eight queued, an event for each one
// done, the device held until the first are queued. With the sink recorded
// (bench/sink.sh), it tells the platform's share of what is not heard. With a
// third argument "mci" it first plays the file a moment as an MCI waveaudio
// device, pauses and closes it, and goes on from the device's position, as
// the player moves a playing file to its own way of playing (but closing the
// device first: here the gap between the two is about 20 ms).
//   bare_waveout FILE.wav SECONDS [mci]
#include <windows.h>
#include <mmsystem.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char **argv) {
    if (argc < 3) return 3;
    long startMs = 0;  // where the MCI device stood
    if (argc > 3 && strcmp(argv[3], "mci") == 0) {
        const std::string open = std::string("open \"") + argv[1] + "\" type waveaudio alias a";
        if (mciSendStringA(open.c_str(), nullptr, 0, nullptr)) return 1;
        mciSendStringA("play a", nullptr, 0, nullptr);
        Sleep(1000);
        mciSendStringA("pause a", nullptr, 0, nullptr);
        char at[32] = "";
        mciSendStringA("status a position", at, sizeof at, nullptr);
        startMs = atol(at);
        mciSendStringA("close a", nullptr, 0, nullptr);
    }
    HMMIO file = mmioOpenA(argv[1], nullptr, MMIO_READ);
    if (!file) return 1;
    MMCKINFO riff = {}, chunk = {};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioDescend(file, &riff, nullptr, MMIO_FINDRIFF)) return 1;
    chunk.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (mmioDescend(file, &chunk, &riff, MMIO_FINDCHUNK)) return 1;
    WAVEFORMATEX format = {};
    mmioRead(file, reinterpret_cast<HPSTR>(&format), 16);
    mmioAscend(file, &chunk, 0);
    chunk.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioDescend(file, &chunk, &riff, MMIO_FINDCHUNK)) return 1;
    mmioSeek(file, static_cast<LONG>(static_cast<long long>(startMs) * format.nSamplesPerSec / 1000) * format.nBlockAlign,
             SEEK_CUR);
    HANDLE done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HWAVEOUT wave = nullptr;
    if (waveOutOpen(&wave, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(done), 0, CALLBACK_EVENT)) return 2;
    const DWORD bytes = format.nAvgBytesPerSec / 100;
    std::vector<std::vector<char>> data(8, std::vector<char>(bytes));
    std::vector<WAVEHDR> headers(8);
    const DWORD end = GetTickCount() + static_cast<DWORD>(atof(argv[2]) * 1000);
    bool more = true;
    waveOutPause(wave);  // held until the first buffers are queued
    bool first = true;
    while (GetTickCount() < end) {
        for (size_t i = 0; i < headers.size() && more; ++i) {
            WAVEHDR &h = headers[i];
            if ((h.dwFlags & WHDR_PREPARED) && !(h.dwFlags & WHDR_DONE)) continue;
            if (h.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(wave, &h, sizeof h);
            const LONG got = mmioRead(file, data[i].data(), static_cast<LONG>(bytes));
            if (got <= 0) {
                more = false;
                break;
            }
            h = WAVEHDR{};
            h.lpData = data[i].data();
            h.dwBufferLength = static_cast<DWORD>(got);
            waveOutPrepareHeader(wave, &h, sizeof h);
            waveOutWrite(wave, &h, sizeof h);
        }
        if (first) waveOutRestart(wave);
        first = false;
        WaitForSingleObject(done, 20);
    }
    waveOutPause(wave);
    MMTIME time = {};
    time.wType = TIME_SAMPLES;
    waveOutGetPosition(wave, &time, sizeof time);
    printf("%lu\n", static_cast<unsigned long>(static_cast<unsigned long long>(time.u.sample) * 1000 / format.nSamplesPerSec));
    waveOutReset(wave);
    for (WAVEHDR &h : headers)
        if (h.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(wave, &h, sizeof h);
    waveOutClose(wave);
    mmioClose(file, 0);
    return 0;
}
