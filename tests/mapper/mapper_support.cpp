#include "mapper_support.h"
#include <gtest/gtest.h>
#include <shellapi.h>
#include "common/mapper_ids.h"
#include "common/mapper_shell.h"
#include "dde_link.h"
#include <cstdio>
#include <cstdlib>

namespace mt {

std::vector<std::string> ListLines(HWND window, int id) {
    std::vector<std::string> lines;
    HWND box = GetDlgItem(window, id);
    DWORD_PTR count = 0;
    SendMessageTimeoutA(box, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count);
    // Wine passes a list box's text to another process in Unicode only.
    for (int i = 0; i < static_cast<int>(count); ++i) {
        WCHAR wide[1024] = L"";
        SendMessageTimeoutW(box, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide), SMTO_ABORTIFHUNG, 2000, nullptr);
        char text[2048] = "";
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
        lines.push_back(text);
    }
    return lines;
}

int ListSelection(HWND window, int id) {
    return static_cast<int>(SendDlgItemMessageA(window, id, LB_GETCURSEL, 0, 0));
}

bool TrayIconShown(HWND window, UINT id) {
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = window;
    data.uID = id;
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

std::vector<SinkExecute> ReadSinkLog(const std::string &log) {
    std::vector<SinkExecute> executes;
    const std::string text = tt::ReadFileText(log);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) break;
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        long long us = 0;
        unsigned long size = 0;
        int used = 0;
        if (sscanf(line.c_str(), "%lld %lu %n", &us, &size, &used) < 2 || size == 0) continue;
        SinkExecute e{us, ""};
        for (size_t i = static_cast<size_t>(used); i + 1 < line.size(); i += 2)
            e.bytes.push_back(static_cast<char>(strtoul(line.substr(i, 2).c_str(), nullptr, 16)));
        executes.push_back(e);
    }
    return executes;
}

bool StartSink(tt::Program &sink, const std::string &service, const std::string &log, const char *mode) {
    DeleteFileA(log.c_str());
    if (!tt::StartProcess(sink, "\"" + tt::TestsDir() + "\\dde_sink.exe\" " + service + " \"" + log + "\"" +
                                    (mode ? std::string(" ") + mode : std::string())))
        return false;
    if (!tt::WaitUntil([&] { return tt::FileExists(log); }, 10000)) return false;
    tt::Pump(50);  // the service's registration, posted to every DDE instance, is taken in
    return true;
}

std::string MapperWindow::SettingsPath() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string s = path;
    return s.substr(0, s.find_last_of('.')) + ".ini";
}

MapperWindow::MapperWindow(const MapperProgram *program, bool keepSettings) {
    if (!keepSettings) DeleteFileA(SettingsPath().c_str());
    HINSTANCE instance = GetModuleHandleA(nullptr);
    static bool registered = RegisterMapperClass(program, instance) != 0;
    (void)registered;
    window_ = CreateMapperWindow(program, instance);
    ShowWindow(window_, SW_SHOWNORMAL);
    tt::Pump(20);
}

MapperWindow::~MapperWindow() {
    if (window_ && IsWindow(window_)) DestroyWindow(window_);
    // The teardown posts WM_QUIT; take it off the queue for the next test.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT) DispatchMessageA(&msg);
    }
}

int SinkCount(const std::string &log, int wanted) {
    DdeLink link;
    int last = -1;
    for (int tries = 0; tries < 100; ++tries) {
        link.Execute("Sink", "Command", "[Count]", 3000);
        tt::Pump(50);
        const std::vector<SinkExecute> counts = ReadSinkLog(log);
        const int now = counts.empty() ? -1 : atoi(counts.back().bytes.c_str());
        if (now >= wanted || (now == last && tries > 20)) return now;
        last = now;
    }
    return last;
}

void StartOnDamagedSettings(const MapperProgram *program, const std::string &good, unsigned count,
                            MapperReading (*read)(HWND window)) {
    const unsigned first = tt::FirstSeed();
    for (unsigned seed = first; seed < first + tt::SeedCount(count); ++seed) {
        SCOPED_TRACE("settings seed " + std::to_string(seed) + " (TAVOLIN_SETTINGS_SEED reruns it)");
        tt::IniCase kind;
        const std::string text = tt::DamagedIni(good, seed, &kind);
        HANDLE lock = tt::PlaceIni(MapperWindow::SettingsPath(), text, kind);
        MapperReading before;
        {
            const DWORD start = GetTickCount();
            MapperWindow w(program, true);
            EXPECT_LT(GetTickCount() - start, 10000u);  // minutes when read key by key
            ASSERT_TRUE(IsWindowVisible(w.window()));
            before = read(w.window());
            if (lock) CloseHandle(lock);
            SendMessageA(w.window(), WM_COMMAND, IDC_SAVE, 0);
            SendMessageA(w.window(), WM_CLOSE, 0, 0);
        }
        if (kind == tt::IniCase::Locked) continue;  // read as missing, saved once let go: not the same file
        if (kind != tt::IniCase::Folder) {
            EXPECT_EQ(tt::ReadIni(MapperWindow::SettingsPath(), "Map", "Count"), std::to_string(before.bindings));
        }
        MapperWindow again(program, true);
        EXPECT_TRUE(read(again.window()).lines == before.lines);
    }
    tt::RemoveIni(MapperWindow::SettingsPath());
}

}  // namespace mt
