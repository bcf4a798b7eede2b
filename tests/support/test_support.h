// Helpers shared by the tests: staging and driving the real programs,
// reading their windows, INI files and Wave files.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace tt {

// Folder of the built programs (build/bin).
std::string BinDir();
// Folder of the running test program and its helpers (build/cmake-x64/tests).
std::string TestsDir();

// A fresh folder under the temporary folder, removed with everything in it.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    std::string File(const std::string &name) const { return path + "\\" + name; }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
};

// Copies build/bin/<name> into the folder as <as>; returns the new path.
std::string Stage(const TempDir &dir, const std::string &name, const std::string &as);

// A started program; ended (WM_CLOSE, then terminated) when it goes out of
// scope. One that ended on an exception fails the test, named.
struct Program {
    PROCESS_INFORMATION info = {};
    HWND window = nullptr;
    std::string commandLine;
    Program() = default;
    ~Program();
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;
    bool Running() const;
    // Exit code after at most timeoutMs, or -1 while it still runs.
    long WaitExit(DWORD timeoutMs);
    bool Close(DWORD timeoutMs = 5000);  // WM_CLOSE and wait for exit code 0
};

bool Start(Program &program, const std::string &exe, const std::string &arguments,
           const char *windowClass = "TavolinWndClass", DWORD timeoutMs = 15000);
// A process without waiting for any window (for second starts, console tools).
bool StartProcess(Program &program, const std::string &commandLine);

HWND WaitForWindow(const char *windowClass, DWORD processId, DWORD timeoutMs);
// A top-level window of the process with this class ("#32770" for dialogs
// and message boxes), other than `except`; null after the timeout.
HWND WaitForProcessWindow(DWORD processId, const char *windowClass, DWORD timeoutMs, HWND except = nullptr);
std::vector<HWND> ProcessWindows(DWORD processId, const char *windowClass);

std::string WindowText(HWND window);
std::string ControlText(HWND window, int id);
// The texts of a message box's static controls, joined by '\n'.
std::string MessageBoxText(HWND box);
void PressButton(HWND dialog, int id);

// Waits (pumping this thread's messages) until pred() holds; false on timeout.
template <typename Pred> bool WaitUntil(Pred pred, DWORD timeoutMs, DWORD stepMs = 10) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (pred()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(stepMs);
    }
}
void Pump(DWORD ms);

std::string ReadIni(const std::string &path, const char *section, const char *key, const char *fallback = "");
void WriteIni(const std::string &path, const char *section, const char *key, const char *value);
std::string ReadFileText(const std::string &path);
void WriteFileBytes(const std::string &path, const std::string &bytes);
bool FileExists(const std::string &path);

// The small drive that fills up ("T:", a tmpfs the runner mounts where it
// may), or "" where there is none.
std::string SmallDrive();
// Fills the drive but for about `leave` bytes, with one file, removed again
// when it goes out of scope.
struct DriveFiller {
    std::string path;
    DriveFiller(const std::string &drive, DWORD leave);
    ~DriveFiller();
    DriveFiller(const DriveFiller &) = delete;
    DriveFiller &operator=(const DriveFiller &) = delete;
};

// A PCM Wave file with a tone of the given length.
void WriteWave(const std::string &path, int milliseconds, DWORD rate = 22050, WORD bits = 16, WORD channels = 1);
struct WaveHeader {
    WORD formatTag = 0, channels = 0, bitsPerSample = 0, blockAlign = 0;
    DWORD samplesPerSec = 0, avgBytesPerSec = 0, dataBytes = 0;
    bool valid = false;
};
WaveHeader ReadWaveHeader(const std::string &path);

// The clipboard's CF_TEXT, or "" when there is none.
std::string ClipboardText();

}  // namespace tt

namespace tt {
// UTF-8 source text in the ANSI code page (932 here), as the programs see it.
std::string Ansi(const char *utf8);
// A name in the code page, widened.
std::wstring Wide(const std::string &ansi);
}

namespace tt {
// Starts a program of the machine under Wine (a Unix path, as
// "/usr/bin/xdotool keydown Control_L"). Wine gives no handle to wait on.
bool StartUnix(const std::string &commandLine);
// Holds a modifier key down at the X server's level (XTest), as a user's
// hand does: Wine reads it back from X whenever one of its windows takes the
// focus, where a key injected with SendInput alone would read as released.
// keysym: "Control_L", "Shift_R", ...; vk: its key, read back until it is
// down (and up again at the end).
struct HeldXKey {
    std::string keysym;
    int vk;
    HeldXKey(const char *sym, int vk);
    ~HeldXKey();
    HeldXKey(const HeldXKey &) = delete;
    HeldXKey &operator=(const HeldXKey &) = delete;
};
}  // namespace tt

namespace tt {
// What a process holds: private bytes, the resident set, and its counts of
// USER, GDI and kernel objects (0 where the platform reports none: Wine 8
// reports only the resident set).
struct Usage {
    SIZE_T privateBytes, workingSet;
    DWORD user, gdi, handles;
};
Usage MeasureProcess(HANDLE process);
// The mean of the last quarter of the samples taken after the first `skip`
// within 5 % (and 2 objects) of the first quarter's, for each figure; prints
// both, prefixed with `what`.
void ExpectFlat(const char *what, const std::vector<Usage> &samples, size_t skip);
// For a long run: the private and resident bytes fitted by least squares over
// the samples after the first `skip`, each sample `opsPerSample` operations
// apart, grow by no more than `bytesPerOp`; the object counts stay as
// ExpectFlat holds them. Prints the slopes, prefixed with `what`.
void ExpectSlope(const char *what, const std::vector<Usage> &samples, size_t skip, double opsPerSample,
                 double bytesPerOp);
}  // namespace tt
