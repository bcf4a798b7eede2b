#include "test_support.h"
#include <gtest/gtest.h>
#include <psapi.h>
#include <cstdio>
#include <cstring>

namespace tt {

std::string BinDir() {
    char buffer[MAX_PATH] = "";
    if (GetEnvironmentVariableA("TAVOLIN_BIN", buffer, sizeof buffer)) return buffer;
    GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    std::string path = buffer;  // build/cmake-x64/tests/x.exe -> build/bin
    for (int i = 0; i < 3; ++i) path = path.substr(0, path.find_last_of('\\'));
    return path + "\\bin";
}

std::string TestsDir() {
    char buffer[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    const std::string path = buffer;
    return path.substr(0, path.find_last_of('\\'));
}

static void RemoveTree(const std::string &path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string full = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(full);
            else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

TempDir::TempDir() {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    static int counter = 0;
    char name[MAX_PATH];
    wsprintfA(name, "%stavolin-%lu-%d-%lu", base, GetCurrentProcessId(), ++counter, GetTickCount());
    CreateDirectoryA(name, nullptr);
    path = name;
}

TempDir::~TempDir() { RemoveTree(path); }

std::string Stage(const TempDir &dir, const std::string &name, const std::string &as) {
    const std::string target = dir.File(as);
    CopyFileA((BinDir() + "\\" + name).c_str(), target.c_str(), FALSE);
    return target;
}

// A program that ended on an exception fails the test by its name, at once:
// the runner keeps Wine's debugger from holding a crashed process.
static void ReportCrash(const Program &program) {
    DWORD code = 0;
    if (!GetExitCodeProcess(program.info.hProcess, &code) || code == STILL_ACTIVE || code < 0xC0000000u) return;
    char text[32];
    wsprintfA(text, "0x%08lX", static_cast<unsigned long>(code));
    ADD_FAILURE() << program.commandLine << " crashed with exception " << text;
}

Program::~Program() {
    if (info.hProcess) {
        if (Running()) {
            if (window && IsWindow(window)) PostMessageA(window, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(info.hProcess, 3000) != WAIT_OBJECT_0) {
                TerminateProcess(info.hProcess, 99);
                WaitForSingleObject(info.hProcess, 3000);
            }
        }
        ReportCrash(*this);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
}

bool Program::Running() const {
    return info.hProcess && WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT;
}

long Program::WaitExit(DWORD timeoutMs) {
    // Pumps this thread's messages meanwhile: the process may broadcast to
    // our windows (a DDE initiate) and wait for the answer.
    if (!info.hProcess) return -1;
    if (!WaitUntil([&] { return WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0; }, timeoutMs, 5)) return -1;
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    return static_cast<long>(code);
}

bool Program::Close(DWORD timeoutMs) {
    if (window) PostMessageA(window, WM_CLOSE, 0, 0);
    return WaitExit(timeoutMs) == 0;
}

bool StartProcess(Program &program, const std::string &commandLine) {
    program.commandLine = commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &program.info) != 0;
}

bool Start(Program &program, const std::string &exe, const std::string &arguments, const char *windowClass,
           DWORD timeoutMs) {
    std::string line = "\"" + exe + "\"";
    if (!arguments.empty()) line += " " + arguments;
    if (!StartProcess(program, line)) return false;
    program.window = WaitForWindow(windowClass, program.info.dwProcessId, timeoutMs);
    return program.window != nullptr;
}

struct FindData {
    DWORD processId;
    const char *windowClass;
    std::vector<HWND> found;
};

static BOOL CALLBACK CollectWindow(HWND window, LPARAM lParam) {
    FindData *data = reinterpret_cast<FindData *>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (pid == data->processId && lstrcmpA(cls, data->windowClass) == 0) data->found.push_back(window);
    return TRUE;
}

std::vector<HWND> ProcessWindows(DWORD processId, const char *windowClass) {
    FindData data{processId, windowClass, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&data));
    return data.found;
}

HWND WaitForProcessWindow(DWORD processId, const char *windowClass, DWORD timeoutMs, HWND except) {
    HWND result = nullptr;
    WaitUntil([&] {
        for (HWND w : ProcessWindows(processId, windowClass))
            if (w != except && IsWindowVisible(w)) { result = w; return true; }
        return false;
    }, timeoutMs);
    return result;
}

HWND WaitForWindow(const char *windowClass, DWORD processId, DWORD timeoutMs) {
    HWND result = nullptr;
    WaitUntil([&] {
        for (HWND w : ProcessWindows(processId, windowClass))
            if (IsWindowVisible(w)) { result = w; return true; }
        return false;
    }, timeoutMs);
    return result;
}

std::string WindowText(HWND window) {
    char text[1024] = "";
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                        nullptr);
    return text;
}

std::string ControlText(HWND window, int id) { return WindowText(GetDlgItem(window, id)); }

static BOOL CALLBACK CollectStatic(HWND child, LPARAM lParam) {
    char cls[32] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") == 0) {
        std::string text = WindowText(child);
        if (!text.empty()) {
            std::string *out = reinterpret_cast<std::string *>(lParam);
            if (!out->empty()) *out += "\n";
            *out += text;
        }
    }
    return TRUE;
}

std::string MessageBoxText(HWND box) {
    std::string text;
    EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&text));
    return text;
}

void PressButton(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void Pump(DWORD ms) {
    WaitUntil([] { return false; }, ms);
}

bool StartUnix(const std::string &commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return false;
    if (info.hThread) CloseHandle(info.hThread);
    if (info.hProcess) CloseHandle(info.hProcess);
    return true;
}

HeldXKey::HeldXKey(const char *sym, int vk) : keysym(sym), vk(vk) {
    EXPECT_TRUE(StartUnix("/usr/bin/xdotool keydown " + keysym));
    EXPECT_TRUE(WaitUntil([&] { return (GetAsyncKeyState(vk) & 0x8000) != 0; }, 5000))
        << "xdotool (part of the test setup) holds " << keysym << " over a window of ours in front";
}

HeldXKey::~HeldXKey() {
    StartUnix("/usr/bin/xdotool keyup " + keysym);
    WaitUntil([&] { return (GetAsyncKeyState(vk) & 0x8000) == 0; }, 5000);
}

std::string ReadIni(const std::string &path, const char *section, const char *key, const char *fallback) {
    char text[1024] = "";
    GetPrivateProfileStringA(section, key, fallback, text, sizeof text, path.c_str());
    return text;
}

void WriteIni(const std::string &path, const char *section, const char *key, const char *value) {
    WritePrivateProfileStringA(section, key, value, path.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
}

std::string ReadFileText(const std::string &path) {
    std::string text;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    fclose(f);
    return text;
}

void WriteFileBytes(const std::string &path, const std::string &bytes) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

bool FileExists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string SmallDrive() {
    const char *drive = getenv("TAVOLIN_SMALL_DRIVE");
    return drive && GetDriveTypeA((std::string(drive) + "\\").c_str()) == DRIVE_FIXED ? drive : "";
}

DriveFiller::DriveFiller(const std::string &drive, DWORD leave) : path(drive + "\\filler.bin") {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    static const char zeros[4096] = {};
    DWORD written = 0, total = 0;
    while (WriteFile(file, zeros, sizeof zeros, &written, nullptr) && written == sizeof zeros) total += written;
    SetFilePointer(file, total > leave ? static_cast<LONG>(total - leave) : 0, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
}

DriveFiller::~DriveFiller() { DeleteFileA(path.c_str()); }

static void Put32(std::string &s, DWORD v) { s.append(reinterpret_cast<const char *>(&v), 4); }
static void Put16(std::string &s, WORD v) { s.append(reinterpret_cast<const char *>(&v), 2); }

void WriteWave(const std::string &path, int milliseconds, DWORD rate, WORD bits, WORD channels) {
    const WORD blockAlign = static_cast<WORD>(bits / 8 * channels);
    const DWORD frames = static_cast<DWORD>(static_cast<long long>(rate) * milliseconds / 1000);
    const DWORD dataBytes = frames * blockAlign;
    std::string s;
    s.reserve(44 + dataBytes);
    s += "RIFF";
    Put32(s, 36 + dataBytes);
    s += "WAVEfmt ";
    Put32(s, 16);
    Put16(s, WAVE_FORMAT_PCM);
    Put16(s, channels);
    Put32(s, rate);
    Put32(s, rate * blockAlign);
    Put16(s, blockAlign);
    Put16(s, bits);
    s += "data";
    Put32(s, dataBytes);
    // A quiet 440 Hz triangle tone.
    const DWORD period = rate / 440 ? rate / 440 : 1;
    for (DWORD i = 0; i < frames; ++i) {
        const long phase = static_cast<long>(i % period) * 4000 / static_cast<long>(period) - 1000;
        const long level = phase < 1000 ? phase : 2000 - (phase - 1000) - 1000;
        for (WORD c = 0; c < channels; ++c) {
            if (bits == 8) s.push_back(static_cast<char>(128 + level / 40));
            else Put16(s, static_cast<WORD>(static_cast<short>(level * 4)));
        }
    }
    WriteFileBytes(path, s);
}

WaveHeader ReadWaveHeader(const std::string &path) {
    WaveHeader h;
    const std::string s = ReadFileText(path);
    if (s.size() < 12 || s.compare(0, 4, "RIFF") != 0 || s.compare(8, 4, "WAVE") != 0) return h;
    size_t at = 12;
    bool haveFormat = false;
    while (at + 8 <= s.size()) {
        DWORD size;
        memcpy(&size, s.data() + at + 4, 4);
        const std::string id = s.substr(at, 4);
        if (id == "fmt " && at + 8 + 16 <= s.size()) {
            const char *p = s.data() + at + 8;
            memcpy(&h.formatTag, p, 2);
            memcpy(&h.channels, p + 2, 2);
            memcpy(&h.samplesPerSec, p + 4, 4);
            memcpy(&h.avgBytesPerSec, p + 8, 4);
            memcpy(&h.blockAlign, p + 12, 2);
            memcpy(&h.bitsPerSample, p + 14, 2);
            haveFormat = true;
        } else if (id == "data") {
            h.dataBytes = size;
            h.valid = haveFormat;
            return h;
        }
        at += 8 + size + (size & 1);
    }
    return h;
}

std::string ClipboardText() {
    std::string text;
    for (int attempt = 0; attempt < 50 && !OpenClipboard(nullptr); ++attempt) Sleep(10);
    HANDLE data = GetClipboardData(CF_TEXT);
    if (data) {
        const char *p = static_cast<const char *>(GlobalLock(data));
        if (p) text = p;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

}  // namespace tt

namespace tt {
std::string Ansi(const char *utf8) {
    WCHAR wide[2048];
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 2048);
    char out[4096] = "";
    if (n) WideCharToMultiByte(CP_ACP, 0, wide, -1, out, sizeof out, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string &ansi) {
    WCHAR wide[2048] = L"";
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide, 2048);
    return wide;
}
}  // namespace tt

namespace tt {

Usage MeasureProcess(HANDLE process) {
    Usage u = {};
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&memory), sizeof memory);
    u.privateBytes = memory.PrivateUsage;
    u.workingSet = memory.WorkingSetSize;
    u.user = GetGuiResources(process, GR_USEROBJECTS);
    u.gdi = GetGuiResources(process, GR_GDIOBJECTS);
    GetProcessHandleCount(process, &u.handles);
    return u;
}

void ExpectFlat(const char *what, const std::vector<Usage> &samples, size_t skip) {
    if (samples.size() < skip + 4) {
        ADD_FAILURE() << what << ": too few samples (" << samples.size() << ")";
        return;
    }
    const size_t quarter = (samples.size() - skip) / 4;
    auto mean = [&](size_t from, auto field) {
        double sum = 0;
        for (size_t i = from; i < from + quarter; ++i) sum += static_cast<double>(field(samples[i]));
        return sum / static_cast<double>(quarter);
    };
    struct Figure {
        const char *name;
        double (*get)(const Usage &);
    };
    const Figure figures[] = {
        {"private bytes", [](const Usage &u) { return static_cast<double>(u.privateBytes); }},
        {"resident bytes", [](const Usage &u) { return static_cast<double>(u.workingSet); }},
        {"USER objects", [](const Usage &u) { return static_cast<double>(u.user); }},
        {"GDI objects", [](const Usage &u) { return static_cast<double>(u.gdi); }},
        {"kernel handles", [](const Usage &u) { return static_cast<double>(u.handles); }},
    };
    for (const Figure &f : figures) {
        const double first = mean(skip, f.get);
        const double last = mean(samples.size() - quarter, f.get);
        printf("%s: %s %.0f -> %.0f\n", what, f.name, first, last);
        EXPECT_LE(last, first * 1.05 + 2) << what << ": " << f.name;  // (+2: counts of zero where the platform has none)
    }
}

void ExpectSlope(const char *what, const std::vector<Usage> &samples, size_t skip, double opsPerSample,
                 double bytesPerOp) {
    if (samples.size() < skip + 8) {
        ADD_FAILURE() << what << ": too few samples (" << samples.size() << ")";
        return;
    }
    auto slope = [&](SIZE_T Usage::*field) {
        const double n = static_cast<double>(samples.size() - skip);
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (size_t i = skip; i < samples.size(); ++i) {
            const double x = static_cast<double>(i - skip) * opsPerSample;
            const double y = static_cast<double>(samples[i].*field);
            sx += x, sy += y, sxx += x * x, sxy += x * y;
        }
        return (n * sxy - sx * sy) / (n * sxx - sx * sx);
    };
    const double ops = static_cast<double>(samples.size() - skip - 1) * opsPerSample;
    const double privateSlope = slope(&Usage::privateBytes), residentSlope = slope(&Usage::workingSet);
    printf("%s: private bytes %+.2f, resident bytes %+.2f per operation over %.0f operations (budget %.2f)\n", what,
           privateSlope, residentSlope, ops, bytesPerOp);
    EXPECT_LE(privateSlope, bytesPerOp) << what << ": private bytes per operation";
    EXPECT_LE(residentSlope, bytesPerOp) << what << ": resident bytes per operation";
    const size_t quarter = (samples.size() - skip) / 4;
    auto mean = [&](size_t from, DWORD Usage::*field) {
        double sum = 0;
        for (size_t i = from; i < from + quarter; ++i) sum += samples[i].*field;
        return sum / static_cast<double>(quarter);
    };
    for (DWORD Usage::*field : {&Usage::user, &Usage::gdi, &Usage::handles})
        EXPECT_LE(mean(samples.size() - quarter, field), mean(skip, field) * 1.05 + 2) << what << ": objects";
}


}  // namespace tt
