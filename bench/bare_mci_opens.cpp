// A bare program doing only the MCI calls of the player's Wave opens (open,
// play, pause, seek, close), or for an MP3 only the decoder's stream calls
// (open, seek, decode, close: the ACM codec) with the library's waveOut
// output, to tell the platform's share of the player's memory per open.
//   bare_mci_opens FILE.wav|FILE.mp3 ROUNDS
// Prints the resident bytes per open, fitted over the rounds after the first tenth.
#include <windows.h>
#include <mmsystem.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "bare_slope.h"
#include "mp3_stream.h"
#include "pcm_format.h"

int main(int argc, char **argv) {
    if (argc < 3) return 3;
    const int rounds = atoi(argv[2]);
    const std::string open = std::string("open \"") + argv[1] + "\" type waveaudio alias a";
    std::vector<double> x, y;
    const bool mp3 = open.find(".mp3") != std::string::npos;
    for (int i = 0; i < rounds; ++i) {
        if (mp3) {
            Mp3Stream stream;
            std::vector<char> pcm;
            if (Mp3StreamOpen(&stream, argv[1]) || !Mp3StreamSeek(&stream, 0) || !Mp3StreamDecode(&stream, pcm, 8192))
                return 1;
            // The decoder library's output: a waveOut stream of the file's
            // own rate and channels, opened at play, reset and closed.
            const WAVEFORMATEX format = Pcm16Format(static_cast<DWORD>(stream.info.header.sampleRate),
                                                    static_cast<WORD>(stream.info.header.channels));
            HWAVEOUT wave = nullptr;
            if (waveOutOpen(&wave, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL)) return 2;
            WAVEHDR header = {};
            header.lpData = pcm.data();
            header.dwBufferLength = static_cast<DWORD>(pcm.size());
            waveOutPrepareHeader(wave, &header, sizeof header);
            waveOutWrite(wave, &header, sizeof header);
            Sleep(20);
            waveOutPause(wave);
            waveOutReset(wave);
            waveOutUnprepareHeader(wave, &header, sizeof header);
            waveOutClose(wave);
            Mp3StreamSeek(&stream, 44100);
            Mp3StreamDecode(&stream, pcm, 16384);
            Mp3StreamClose(&stream);
        } else {
            if (mciSendStringA(open.c_str(), nullptr, 0, nullptr)) return 1;
            mciSendStringA("play a", nullptr, 0, nullptr);
            Sleep(20);
            mciSendStringA("pause a", nullptr, 0, nullptr);
            mciSendStringA("seek a to 1000", nullptr, 0, nullptr);
            mciSendStringA("close a", nullptr, 0, nullptr);
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        if (i >= rounds / 10) {
            x.push_back(i);
            y.push_back(ResidentBytes());
        }
    }
    printf("%d opens: %.2f -> %.2f MB, %.1f bytes per open\n", rounds, y.front() / 1048576, y.back() / 1048576, SlopePerRound(x, y));
    return 0;
}
