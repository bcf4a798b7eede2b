// A scripted decoder library for the player's MP3 branch: no audio, only the
// answers the player must cope with. The opened file is a line of text:
//   rate=N samples=N error=N stuck=1 late=1 hang=1
// error makes the open fail with that number; stuck keeps the state at
// stopped whatever the player asks (a decoder that never starts); late sends
// the end-of-play signal 50 ms after the file is closed; hang never returns
// from the close (a driver that stopped answering).
#include <windows.h>
#include <cstdio>
#include <cstring>

namespace {

struct Script {
    int rate = 44100, samples = 441000, error = 0, stuck = 0, late = 0, hang = 0;
};
typedef void(CALLBACK *EndOfPlay)(int code, int param);
EndOfPlay endOfPlay;

DWORD WINAPI LateSignal(LPVOID) {
    Sleep(50);
    if (endOfPlay) endOfPlay(4, 0);
    return 0;
}

Script script;
int state;  // 0 stopped, 1 playing, 2 paused
int sample, lastError, isOpen;

int Value(const char *text, const char *key, int otherwise) {
    const char *at = strstr(text, key);
    return at ? atoi(at + strlen(key)) : otherwise;
}

BOOL Fail(int error) {
    lastError = error;
    return FALSE;
}

BOOL Enter(int next) {
    if (!isOpen) return Fail(2);
    if (!script.stuck) state = next;
    return TRUE;
}

}  // namespace

extern "C" {

void WINAPI vbmp3_init() {}
void WINAPI vbmp3_free() { isOpen = 0; }

BOOL WINAPI vbmp3_open(const char *path, BYTE *info) {
    char text[128] = "";
    FILE *file = fopen(path, "rb");
    if (!file) return Fail(1);
    const size_t n = fread(text, 1, sizeof text - 1, file);
    fclose(file);
    text[n] = '\0';
    script.rate = Value(text, "rate=", 44100);
    script.samples = Value(text, "samples=", 441000);
    script.error = Value(text, "error=", 0);
    script.stuck = Value(text, "stuck=", 0);
    script.late = Value(text, "late=", 0);
    script.hang = Value(text, "hang=", 0);
    if (script.error) return Fail(script.error);
    memset(info, 0, 272);
    memcpy(info + 264, &script.rate, sizeof script.rate);
    state = sample = 0;
    isOpen = 1;
    return TRUE;
}

void WINAPI vbmp3_close() {
    if (script.hang) Sleep(INFINITE);
    isOpen = state = 0;
    if (script.late) CloseHandle(CreateThread(nullptr, 0, LateSignal, nullptr, 0, nullptr));
}
int WINAPI vbmp3_getState(int *detail) {
    if (detail) *detail = 0;
    return state;
}
BOOL WINAPI vbmp3_play() { return Enter(1); }
BOOL WINAPI vbmp3_stop() { return Enter(0); }
BOOL WINAPI vbmp3_pause() { return Enter(2); }
BOOL WINAPI vbmp3_restart() { return Enter(1); }
BOOL WINAPI vbmp3_seek(int) { return isOpen ? TRUE : Fail(2); }
BOOL WINAPI vbmp3_setStepPitch(int) { return TRUE; }
int WINAPI vbmp3_getStepPitch() { return 0; }
BOOL WINAPI vbmp3_setPitch(int) { return TRUE; }
int WINAPI vbmp3_getPitch() { return 0; }
int WINAPI vbmp3_getPlaySamples() { return sample; }
int WINAPI vbmp3_getTotalSamples() { return isOpen ? script.samples : 0; }
BOOL WINAPI vbmp3_setPlaySamples(int to) {
    if (!isOpen) return Fail(2);
    sample = to;
    return TRUE;
}
int WINAPI vbmp3_getPlayFlames() { return 0; }
BOOL WINAPI vbmp3_setPlayFlames(int) { return TRUE; }
BOOL WINAPI vbmp3_callback(EndOfPlay proc) {
    endOfPlay = proc;
    return TRUE;
}
int WINAPI vbmp3_getLastErrorNo() { return lastError; }
int WINAPI vbmp3_getFileType() { return isOpen; }
BOOL WINAPI vbmp3_getMpegInfo(BYTE *info) {
    memset(info, 0, 56);
    return isOpen;
}
int WINAPI vbmp3_getVersion() { return 99; }

}  // extern "C"
