// Padwig in this process with a scripted joystick behind its entry points:
// sampling, debounce and dispatch, the status text, the bindings and their
// settings, teardown while sampling runs, and a real player over DDE.
#include "mapper_support.h"
#include <gtest/gtest.h>
#include "button_bindings.h"
#include "joystick_sampling.h"
#include "joystick_window.h"
#include "padwig_program.h"
#include "joystick/res/resource.h"
#include "player_process.h"

namespace {

// The scripted joystick: button words per joystick, what the driver says,
// and a clock the test sets.
struct Script {
    volatile DWORD buttons[kJoystickMax];
    UINT devices = 16;
    bool capsFail = false;      // joyGetDevCaps
    bool posFail = false;       // joyGetPos
    bool timerCapsFail = false;
    bool realTimer = false;     // the real multimedia timer, else the test samples
    bool nt4 = false;
    DWORD tick = 1000;
    DWORD sampleDelayMs = 0;    // each joyGetPosEx takes this long
    volatile LONG stopped = 0;  // the timer's resolution was given back
    volatile LONG lateSamples = 0;
} script;

UINT WINAPI NumDevs() { return script.devices; }
MMRESULT WINAPI PosEx(UINT id, LPJOYINFOEX info) {
    if (script.sampleDelayMs) Sleep(script.sampleDelayMs);
    if (script.stopped) InterlockedIncrement(&script.lateSamples);
    if (id >= kJoystickMax) return JOYERR_PARMS;
    info->dwButtons = script.buttons[id];
    return JOYERR_NOERROR;
}
MMRESULT WINAPI DevCaps(UINT_PTR, LPJOYCAPSA, UINT) { return script.capsFail ? JOYERR_PARMS : JOYERR_NOERROR; }
MMRESULT WINAPI Pos(UINT, LPJOYINFO) { return script.posFail ? JOYERR_UNPLUGGED : JOYERR_NOERROR; }
MMRESULT WINAPI TimerCaps(LPTIMECAPS caps, UINT size) {
    if (script.timerCapsFail) return TIMERR_NOCANDO;
    return timeGetDevCaps(caps, size);
}
MMRESULT WINAPI EndPeriod(UINT period) {
    script.stopped = 1;
    return timeEndPeriod(period);
}
MMRESULT WINAPI SetEvent(UINT delay, UINT resolution, LPTIMECALLBACK callback, DWORD_PTR user, UINT flags) {
    return script.realTimer ? timeSetEvent(delay, resolution, callback, user, flags) : 4242;
}
MMRESULT WINAPI KillEvent(UINT id) { return script.realTimer ? timeKillEvent(id) : TIMERR_NOERROR; }
DWORD WINAPI Tick() { return script.realTimer ? GetTickCount() : script.tick; }
BOOL WINAPI Version(LPOSVERSIONINFOA info) {
    if (!script.nt4) return GetVersionExA(info);
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->dwMajorVersion = 4;
    return TRUE;
}

class Padwig : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = g_joystickApi;
        script = Script{};
        for (auto &b : script.buttons) b = 0;
        g_joystickApi = {NumDevs, PosEx,   DevCaps, Pos,  TimerCaps, timeBeginPeriod,
                         EndPeriod, SetEvent, KillEvent, Tick, Version};
    }
    void TearDown() override { g_joystickApi = saved_; }

    // Settings whose commands go to the sink, with these "Map" lines.
    static void WriteSettings(const std::string &map, int count, const char *service = "Sink") {
        tt::WriteFileBytes(mt::MapperWindow::SettingsPath(),
                           std::string("[Padwig]\r\nVersion=2.3(32)\r\n[DDE]\r\nServiceName=") + service +
                               "\r\nTopicName=Command\r\n[Command]\r\nCount=4\r\n01=[Play()]\r\n02=[Pause()]\r\n"
                               "03=[Top()]\r\n[Map]\r\nCount=" + std::to_string(count) + "\r\n" + map);
    }
    static PadwigState *State(const mt::MapperWindow &w) { return GetPadwigState(w.window()); }
    // Two samples: a settled button word.
    static void Settle(const mt::MapperWindow &w, int joystick, DWORD buttons) {
        script.buttons[joystick] = buttons;
        SampleJoysticks(State(w));
        SampleJoysticks(State(w));
    }
    static std::vector<std::string> Received(const std::string &log) {
        tt::Pump(300);
        std::vector<std::string> texts;
        for (const mt::SinkExecute &e : mt::ReadSinkLog(log)) texts.push_back(e.bytes.c_str());
        return texts;
    }

    JoystickApi saved_;
};

class PadwigSink : public Padwig {
protected:
    void SetUp() override {
        Padwig::SetUp();
        ASSERT_TRUE(mt::StartSink(sink, "Sink", log));
    }
    void TearDown() override {
        DdeLink().Execute("Sink", "Command", "[Quit]", 3000);
        sink.WaitExit(3000);
        Padwig::TearDown();
    }
    tt::TempDir dir;
    std::string log = dir.File("sink.log");
    tt::Program sink;
};

}  // namespace

TEST_F(Padwig, OffersAtLeastTwoJoysticksAndAtMostWhatTheDriverHas) {
    struct Case {
        UINT devices;
        bool nt4;
        int offered;
    } cases[] = {{0, false, 2}, {1, false, 2}, {6, false, 6}, {40, false, 16}, {16, true, 2}};
    for (const Case &c : cases) {
        script.devices = c.devices;
        script.nt4 = c.nt4;
        mt::MapperWindow w(&kPadwigProgram);
        EXPECT_EQ(State(w)->joystickCount, c.offered) << c.devices;
        EXPECT_EQ(SendDlgItemMessageA(w.window(), IDC_JOYSTICK, CB_GETCOUNT, 0, 0), c.offered);
    }
    script.devices = 16;
    script.nt4 = false;
    mt::MapperWindow w(&kPadwigProgram);
    char item[64] = "";
    SendDlgItemMessageA(w.window(), IDC_JOYSTICK, CB_GETLBTEXT, 5, reinterpret_cast<LPARAM>(item));
    EXPECT_EQ(std::string(item), tt::Ansi("ジョイスティック6"));
    // The release list is sorted, and still in index order.
    EXPECT_EQ(mt::ListLines(w.window(), IDC_RELEASE_COMMAND), mt::ListLines(w.window(), IDC_PRESS_COMMAND));
}

TEST_F(Padwig, AFilledButtonListScrollsOverAllItsLines) {
    mt::MapperWindow w(&kPadwigProgram);
    HWND list = GetDlgItem(w.window(), IDC_BUTTONS);
    SendDlgItemMessageA(w.window(), IDC_JOYSTICK, CB_SETCURSEL, 3, 0);
    SendMessageA(w.window(), WM_COMMAND, MAKEWPARAM(IDC_JOYSTICK, CBN_CLOSEUP), 0);
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE;
    ASSERT_TRUE(GetScrollInfo(list, SB_VERT, &info));
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), kButtonMax);
    EXPECT_EQ(info.nMax, kButtonMax - 1);
    EXPECT_LT(info.nPage, static_cast<UINT>(kButtonMax));
}

TEST_F(PadwigSink, SettledEdgesSendOneCommandPerJoystickAndTick) {
    // Joystick 1: button 1 press 01 release 02, button 2 press 03 release 03;
    // joystick 2: button 3 release only.
    WriteSettings("01=00,00,01,02\r\n02=00,01,03,03\r\n03=01,02,00,01\r\n", 3);
    script.buttons[1] = 1u << 2;  // held at start-up
    mt::MapperWindow w(&kPadwigProgram, true);
    HWND window = w.window();
    SampleJoysticks(State(w));
    SampleJoysticks(State(w));
    DispatchButtonChanges(window);           // nothing bound to that press
    DispatchButtonChanges(window);
    // One sample only: no edge.
    script.buttons[0] = 1;
    SampleJoysticks(State(w));
    script.buttons[0] = 0;
    SampleJoysticks(State(w));
    DispatchButtonChanges(window);
    // Buttons 1 and 2 together: only button 1 acts, down and up.
    Settle(w, 0, 3);
    DispatchButtonChanges(window);
    Settle(w, 0, 0);
    DispatchButtonChanges(window);
    // Down and up between two ticks: neither.
    Settle(w, 0, 2);
    Settle(w, 0, 0);
    DispatchButtonChanges(window);
    // The held button of joystick 2 let go: its release command.
    Settle(w, 1, 0);
    DispatchButtonChanges(window);
    EXPECT_EQ(Received(log), (std::vector<std::string>{"[Play()]", "[Pause()]", "[Play()]"}));
}

TEST_F(PadwigSink, EditsFireAfterApplyAndClearStopsAtOnce) {
    WriteSettings("", 0);
    mt::MapperWindow w(&kPadwigProgram, true);
    HWND window = w.window();
    auto choose = [&](int list, int line) {
        SendDlgItemMessageA(window, list, LB_SETCURSEL, line, 0);
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(list, LBN_SELCHANGE), 0);
    };
    // A command chosen with no button selected changes nothing.
    choose(IDC_PRESS_COMMAND, 3);
    ApplyBindings(window);
    EXPECT_EQ(State(w)->activeBindings.count, 0);
    choose(IDC_BUTTONS, 4);
    EXPECT_EQ(mt::ListSelection(window, IDC_PRESS_COMMAND), 0);
    choose(IDC_PRESS_COMMAND, 3);
    SendMessageA(window, WM_COMMAND, IDC_SAVE, 0);  // saved, not applied
    Settle(w, 0, 1u << 4);
    DispatchButtonChanges(window);
    SendMessageA(window, WM_COMMAND, IDC_APPLY, 0);
    Settle(w, 0, 0);
    DispatchButtonChanges(window);
    Settle(w, 0, 1u << 4);
    DispatchButtonChanges(window);
    SendMessageA(window, WM_COMMAND, IDC_CLEAR, 0);
    Settle(w, 0, 0);
    DispatchButtonChanges(window);
    Settle(w, 0, 1u << 4);
    DispatchButtonChanges(window);
    EXPECT_EQ(Received(log), std::vector<std::string>{"[Top()]"});
    EXPECT_EQ(tt::ReadIni(mt::MapperWindow::SettingsPath(), "Map", "01"), "00,04,03,00");
    SendMessageA(window, WM_COMMAND, IDC_SAVE, 0);
    EXPECT_EQ(tt::ReadIni(mt::MapperWindow::SettingsPath(), "Map", "Count"), "0");
}

TEST_F(Padwig, MapEntriesAreReadByPlaceAndEverySavedOneComesBack) {
    std::string map = "01=00,00,00,02\r\n02=00,01,1,2\r\n03=20,00,01,01\r\n04=05,03,01,00\r\n05=00,02,05,09\r\n";
    WriteSettings(map, 5);
    {
        script.devices = 2;
        mt::MapperWindow w(&kPadwigProgram, true);
        const RecordArray &first = State(w)->buttonLists[0];
        EXPECT_EQ(BindingAt(first, 0)->pressCommand, 0);
        EXPECT_EQ(BindingAt(first, 0)->releaseCommand, 2);
        EXPECT_EQ(BindingAt(first, 1)->releaseCommand, 0);   // under 11 characters
        EXPECT_EQ(BindingAt(first, 2)->pressCommand, 0);     // 05 and 09: not below the 5 entries
        EXPECT_EQ(BindingAt(State(w)->buttonLists[5], 3)->pressCommand, 1);
        EXPECT_EQ(State(w)->activeBindings.count, 2);        // joystick 6 too, though it never fires
        SaveBindings(w.window());
        EXPECT_EQ(tt::ReadIni(mt::MapperWindow::SettingsPath(), "Map", "Count"), "1");
    }
    // 100 saved entries and more come back whole; a negative count reads none.
    map.clear();
    for (int e = 1; e <= 100; ++e) {
        char line[64];
        wsprintfA(line, "%02d=%02d,%02d,01,00\r\n", e, (e - 1) / 32, (e - 1) % 32);
        map += line;
    }
    WriteSettings(map, 100);
    {
        mt::MapperWindow w(&kPadwigProgram, true);
        EXPECT_EQ(State(w)->activeBindings.count, 100);
    }
    WriteSettings(map, -3);
    mt::MapperWindow w(&kPadwigProgram, true);
    EXPECT_EQ(State(w)->activeBindings.count, 0);
}

TEST_F(Padwig, StatusRefreshesTwiceASecondAtMostAndAcrossTheClockWrap) {
    script.tick = 0xFFFFFF00u;
    mt::MapperWindow w(&kPadwigProgram);
    HWND window = w.window();
    State(w)->lastStatusTick = 0;
    RefreshJoystickStatus(window);
    EXPECT_EQ(tt::ControlText(window, IDC_STATUS), tt::Ansi("使用可"));
    script.posFail = true;
    script.tick += 400;  // past 2^32, under 500 ms later
    RefreshJoystickStatus(window);
    EXPECT_EQ(tt::ControlText(window, IDC_STATUS), tt::Ansi("使用可"));
    script.tick += 100;
    RefreshJoystickStatus(window);
    EXPECT_EQ(tt::ControlText(window, IDC_STATUS), tt::Ansi("未接続？"));
    // Another joystick picked: read again at the next tick, also within
    // 500 ms of the clock's wrap.
    script.capsFail = true;
    script.tick += 10;
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_JOYSTICK, CBN_CLOSEUP), 0);
    RefreshJoystickStatus(window);
    EXPECT_EQ(tt::ControlText(window, IDC_STATUS), tt::Ansi("使用不可"));
}

TEST_F(Padwig, WithoutTimerCapabilitiesNothingIsSampledButTheStatusWorks) {
    script.timerCapsFail = true;
    script.realTimer = true;
    script.buttons[0] = 1;
    mt::MapperWindow w(&kPadwigProgram);
    EXPECT_EQ(State(w)->sampleEventId, 0u);
    EXPECT_EQ(State(w)->timerResolution, 0u);
    EXPECT_TRUE(tt::WaitUntil([&] { return tt::ControlText(w.window(), IDC_STATUS) == tt::Ansi("使用可"); }, 3000));
    tt::Pump(200);
    EXPECT_EQ(State(w)->stableButtons[0], 0u);
}

TEST_F(Padwig, TeardownWaitsForASampleUnderWay) {
    script.realTimer = true;
    script.sampleDelayMs = 2;  // a pass over 16 joysticks takes about 32 ms
    for (int round = 0; round < 25; ++round) {
        script.stopped = 0;
        {
            mt::MapperWindow w(&kPadwigProgram);
            tt::Pump(15 + round % 7 * 5);
        }
        EXPECT_EQ(script.lateSamples, 0) << "round " << round;
    }
}

TEST_F(Padwig, ButtonsDriveARealPlayerThroughRealTimers) {
    script.realTimer = true;
    tt::TempDir dir;
    const std::string exe = tt::Stage(dir, "Tavolin.exe", "Tavolin.exe");
    tt::WriteIni(exe.substr(0, exe.size() - 4) + ".ini", "Tavolin", "ShowError", "0");
    tt::Program player;
    ASSERT_TRUE(tt::Start(player, exe, ""));
    DdeLink link;
    const std::string wave = dir.File("tone.wav");
    tt::WriteWave(wave, 20000);
    ASSERT_EQ(link.Execute("Tavolin", "Command", "[Open(" + wave + ")]", 5000), DdeOutcome::Done);
    auto mode = [&] {
        std::string reply;
        link.Request("Tavolin", "Command", "GetMode", &reply, 5000);
        return atoi(reply.c_str());
    };
    // The first-run bindings: button 1 plays from 5 s back, and pauses when let go.
    DeleteFileA(mt::MapperWindow::SettingsPath().c_str());
    mt::MapperWindow w(&kPadwigProgram, true);
    script.buttons[0] = 1;
    EXPECT_TRUE(tt::WaitUntil([&] { return mode() == static_cast<int>(MCI_MODE_PLAY); }, 5000));
    script.buttons[0] = 0;
    EXPECT_TRUE(tt::WaitUntil([&] { return mode() == static_cast<int>(MCI_MODE_PAUSE); }, 5000));
    EXPECT_TRUE(player.Close());
}
