// Helpers for the mapper tests: list boxes read from outside, the DDE sink's
// log, and a mapper's real window created in this process.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>
#include "damaged_ini.h"
#include "test_support.h"

struct MapperProgram;

namespace mt {

// The lines of a list box (also of another process's window).
std::vector<std::string> ListLines(HWND window, int id);
int ListSelection(HWND window, int id);
// Whether the shell holds the window's tray icon (a modify that changes nothing).
bool TrayIconShown(HWND window, UINT id);

// What the DDE sink received: one record per execute.
struct SinkExecute {
    long long microseconds;
    std::string bytes;
};
std::vector<SinkExecute> ReadSinkLog(const std::string &log);
// Starts tests/dde_sink.exe for the service and waits until it serves and
// this thread has heard it register.
// The mode: "raw" serves the plain DDE messages without DDEML, announcing
// neither its start nor its end; "quiet" logs only the "[Count]" it is sent.
bool StartSink(tt::Program &sink, const std::string &service, const std::string &log, const char *mode = nullptr);

// The real main window of a mapper, created in this process as the program
// does; the settings file beside the test program is removed first unless kept.
class MapperWindow {
public:
    MapperWindow(const MapperProgram *program, bool keepSettings = false);
    ~MapperWindow();
    MapperWindow(const MapperWindow &) = delete;
    MapperWindow &operator=(const MapperWindow &) = delete;
    HWND window() const { return window_; }
    static std::string SettingsPath();

private:
    HWND window_ = nullptr;
};

// The count a quiet sink on "Sink" gives of the executes it has had, once it
// reaches `wanted` or stops growing.
int SinkCount(const std::string &log, int wanted);

// What a mapper read from its settings, as lines to compare, and how many
// bindings a save writes of it.
struct MapperReading {
    std::vector<std::string> lines;
    size_t bindings = 0;
};
// Starts the mapper's window in this process on each damaged copy of `good`
// (the seed named in every failure; TAVOLIN_SETTINGS_SEED reruns one): the
// window within 2 s, and `read`'s own checks of what it holds; then a save
// and a close. The save's "Map" count is the bindings read, and the next start
// reads the same. A locked file is let go before the save.
void StartOnDamagedSettings(const MapperProgram *program, const std::string &good, unsigned count,
                            MapperReading (*read)(HWND window));

}  // namespace mt
