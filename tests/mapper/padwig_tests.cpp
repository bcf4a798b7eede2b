// Padwig in this process with a scripted joystick behind its entry points:
// sampling, debounce and dispatch, the status text, the bindings and their
// settings, teardown while sampling runs, and a real player over DDE.
#include "mapper_support.h"
#include <gtest/gtest.h>
#include "button_bindings.h"
#include "joystick_sampling.h"
#include "joystick_window.h"
#include "common/mapper_ids.h"
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
    volatile bool gone[kJoystickMax] = {};  // not answering
    volatile LONG asked[kJoystickMax] = {};  // joyGetPosEx calls
    UINT periodMin = 0;                      // else the system's range
    UINT raisedTo = 0;                       // the last timeBeginPeriod
    UINT eventFlags = 0;                     // of the last timeSetEvent
} script;

UINT WINAPI NumDevs() { return script.devices; }
MMRESULT WINAPI PosEx(UINT id, LPJOYINFOEX info) {
    if (script.sampleDelayMs) Sleep(script.sampleDelayMs);
    if (script.stopped) InterlockedIncrement(&script.lateSamples);
    if (id >= kJoystickMax) return JOYERR_PARMS;
    InterlockedIncrement(&script.asked[id]);
    if (script.gone[id]) return JOYERR_UNPLUGGED;
    info->dwButtons = script.buttons[id];
    return JOYERR_NOERROR;
}
MMRESULT WINAPI DevCaps(UINT_PTR, LPJOYCAPSA, UINT) { return script.capsFail ? JOYERR_PARMS : JOYERR_NOERROR; }
MMRESULT WINAPI Pos(UINT, LPJOYINFO) { return script.posFail ? JOYERR_UNPLUGGED : JOYERR_NOERROR; }
MMRESULT WINAPI TimerCaps(LPTIMECAPS caps, UINT size) {
    if (script.timerCapsFail) return TIMERR_NOCANDO;
    const MMRESULT result = timeGetDevCaps(caps, size);
    if (script.periodMin) {
        caps->wPeriodMin = script.periodMin;
        caps->wPeriodMax = 1000000;
    }
    return result;
}
MMRESULT WINAPI BeginPeriod(UINT period) {
    script.raisedTo = period;
    return timeBeginPeriod(period);
}
MMRESULT WINAPI EndPeriod(UINT period) {
    script.stopped = 1;
    return timeEndPeriod(period);
}
MMRESULT WINAPI SetEvent(UINT delay, UINT resolution, LPTIMECALLBACK callback, DWORD_PTR user, UINT flags) {
    script.eventFlags = flags;
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
        g_joystickApi = {NumDevs, PosEx,   DevCaps, Pos,  TimerCaps, BeginPeriod,
                         EndPeriod, SetEvent, KillEvent, Tick, Version};
    }
    void TearDown() override {
        g_joystickApi = saved_;
        g_setTimer = SetTimer;
    }

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
    // Dispatch ticks until every confirmed edge is taken.
    static void Drain(const mt::MapperWindow &w) {
        for (int tick = 0; tick < 200; ++tick) {
            bool pending = false;
            for (const EdgeQueue &q : State(w)->edgeQueues) pending = pending || q.added != q.taken;
            if (!pending) return;
            DispatchButtonChanges(w.window());
        }
    }
    static LONG Pending(const mt::MapperWindow &w, int joystick) {
        const EdgeQueue &q = State(w)->edgeQueues[joystick];
        return q.added - q.taken;
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

TEST_F(PadwigSink, ConfirmedEdgesAllGoOutInOrderOnePerJoystickAndTick) {
    // Joystick 1: button 1 press 01 release 02, button 2 press 03 release 03;
    // joystick 2: button 3 release only.
    WriteSettings("01=00,00,01,02\r\n02=00,01,03,03\r\n03=01,02,00,01\r\n", 3);
    script.buttons[1] = 1u << 2;  // held at start-up
    mt::MapperWindow w(&kPadwigProgram, true);
    HWND window = w.window();
    SampleJoysticks(State(w));
    SampleJoysticks(State(w));
    Drain(w);  // nothing bound to that press
    // One sample only: no edge.
    script.buttons[0] = 1;
    SampleJoysticks(State(w));
    script.buttons[0] = 0;
    SampleJoysticks(State(w));
    EXPECT_EQ(Pending(w, 0), 0);
    // Buttons 1 and 2 down together and up together, all between two ticks:
    // four commands, one per tick, in order.
    Settle(w, 0, 3);
    Settle(w, 0, 0);
    DispatchButtonChanges(window);
    EXPECT_EQ(Pending(w, 0), 3);
    Drain(w);
    // Button 2 down; then button 1 down and button 2 up at once; then up.
    Settle(w, 0, 2);
    Settle(w, 0, 1);
    Settle(w, 0, 0);
    Drain(w);
    // A joystick unplugged with a button held lets go of it, after a grace
    // of a few failed samples; one failed sample changes nothing.
    Settle(w, 1, 0);
    Settle(w, 1, 1u << 2);
    Drain(w);
    script.gone[1] = true;
    SampleJoysticks(State(w));
    EXPECT_EQ(State(w)->stableButtons[1], 1u << 2);
    for (int i = 0; i < 4; ++i) SampleJoysticks(State(w));
    Drain(w);
    EXPECT_EQ(Received(log), (std::vector<std::string>{"[Play()]", "[Top()]", "[Pause()]", "[Top()]", "[Top()]",
                                                       "[Play()]", "[Top()]", "[Pause()]", "[Play()]", "[Play()]"}));
}

// While the window's thread is held, a full queue keeps the edges it has:
// they go out first, in the order they happened.
TEST_F(PadwigSink, AFullEdgeQueueKeepsItsEdgesInOrder) {
    WriteSettings("01=00,00,01,02\r\n02=00,01,03,01\r\n", 2);
    mt::MapperWindow w(&kPadwigProgram, true);
    const DWORD words[] = {1, 0, 2, 0};  // Play, Pause, Top, Play
    for (int i = 0; i < kEdgeQueueSize + 6; ++i) Settle(w, 0, words[i % 4]);
    EXPECT_EQ(Pending(w, 0), kEdgeQueueSize);
    Drain(w);
    const std::vector<std::string> got = Received(log);
    ASSERT_GE(got.size(), static_cast<size_t>(kEdgeQueueSize));
    const char *const cycle[] = {"[Play()]", "[Pause()]", "[Top()]", "[Play()]"};
    for (int i = 0; i < kEdgeQueueSize; ++i) EXPECT_EQ(got[i], cycle[i % 4]) << i;
}

namespace {

constexpr int kTaps = 40;

DWORD WINAPI Tap25(LPVOID) {
    for (int i = 0; i < kTaps; ++i) {
        script.buttons[0] = 1;
        Sleep(25);
        script.buttons[0] = 0;
        Sleep(25);
    }
    return 0;
}

}  // namespace

// Every tap the sampler confirmed (two agreeing samples) goes out. On a busy
// machine a 25 ms tap can fall between samples altogether, which no sampler
// sees: those are not counted against it.
TEST_F(PadwigSink, NoTapOfARealButtonIsLost) {
    WriteSettings("01=00,00,01,02\r\n", 1);
    script.realTimer = true;
    mt::MapperWindow w(&kPadwigProgram, true);
    HANDLE tapper = CreateThread(nullptr, 0, Tap25, nullptr, 0, nullptr);
    EXPECT_TRUE(tt::WaitUntil([&] { return WaitForSingleObject(tapper, 0) == WAIT_OBJECT_0; }, 15000));
    WaitForSingleObject(tapper, INFINITE);
    CloseHandle(tapper);
    tt::Pump(100);
    const size_t confirmed = static_cast<size_t>(State(w)->edgeQueues[0].added);
    EXPECT_GE(confirmed, static_cast<size_t>(kTaps));  // most taps, even under load
    const bool all = tt::WaitUntil([&] { return mt::ReadSinkLog(log).size() >= confirmed; }, 15000);
    EXPECT_TRUE(all) << mt::ReadSinkLog(log).size() << " of " << confirmed;
    const std::vector<std::string> got = Received(log);
    ASSERT_EQ(got.size(), confirmed);
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], i % 2 ? "[Pause()]" : "[Play()]") << i;
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

TEST_F(Padwig, TheButtonListFollowsTheJoystickHoweverItIsChosen) {
    mt::MapperWindow w(&kPadwigProgram);
    HWND window = w.window();
    HWND box = GetDlgItem(window, IDC_JOYSTICK);
    auto listed = [&] {
        const LRESULT data = SendDlgItemMessageA(window, IDC_BUTTONS, LB_GETITEMDATA, 0, 0);
        return data == LB_ERR ? -1 : static_cast<int>(reinterpret_cast<const ButtonBinding *>(data)->joystick);
    };
    // End on the closed box: the last joystick, shown and listed.
    SendDlgItemMessageA(window, IDC_BUTTONS, LB_SETCURSEL, 3, 0);
    SendMessageA(box, WM_KEYDOWN, VK_END, 0);
    EXPECT_EQ(SendMessageA(box, CB_GETCURSEL, 0, 0), 15);
    EXPECT_EQ(listed(), 15);
    EXPECT_EQ(mt::ListSelection(window, IDC_BUTTONS), -1);
    SendMessageA(box, WM_KEYDOWN, VK_HOME, 0);
    EXPECT_EQ(listed(), 0);
    // The drop-down's close clears the selections too.
    SendDlgItemMessageA(window, IDC_BUTTONS, LB_SETCURSEL, 2, 0);
    SendDlgItemMessageA(window, IDC_PRESS_COMMAND, LB_SETCURSEL, 2, 0);
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_JOYSTICK, CBN_CLOSEUP), reinterpret_cast<LPARAM>(box));
    EXPECT_EQ(mt::ListSelection(window, IDC_BUTTONS), -1);
    EXPECT_EQ(mt::ListSelection(window, IDC_PRESS_COMMAND), -1);
}

TEST_F(Padwig, SamplingRestsWhileNoJoystickAnswersAndEndsWithoutALateCallback) {
    for (bool &gone : const_cast<bool (&)[kJoystickMax]>(script.gone)) gone = true;
    script.periodMin = 1;
    mt::MapperWindow w(&kPadwigProgram);
    HWND window = w.window();
    PadwigState *state = State(w);
    EXPECT_EQ(script.raisedTo, kSampleMs);  // 10 ms where the range allows it
    EXPECT_TRUE(script.eventFlags & TIME_KILL_SYNCHRONOUS);
    SampleJoysticks(state);
    for (LONG asked : script.asked) EXPECT_EQ(asked, 1);
    EXPECT_EQ(OnPollTimer(window, 0), FALSE);
    EXPECT_EQ(OnPollTimer(window, 77), FALSE);
    EXPECT_EQ(OnPollTimer(window, state->pollTimerId), TRUE);
    // None answers: no raised resolution, an event once a second.
    EXPECT_EQ(state->timerResolution, 0u);
    EXPECT_EQ(state->samplePeriod, kProbeMs);
    EXPECT_TRUE(script.stopped);
    // Joystick 4 plugged in: found at the next pass, sampled every 10 ms.
    script.gone[3] = false;
    SampleJoysticks(state);
    OnPollTimer(window, state->pollTimerId);
    EXPECT_EQ(state->samplePeriod, kSampleMs);
    EXPECT_EQ(state->timerResolution, kSampleMs);
    // The others are asked again only when a second has gone by.
    for (int pass = 0; pass < 5; ++pass) SampleJoysticks(state);
    EXPECT_EQ(script.asked[0], 2);
    EXPECT_EQ(script.asked[3], 7);
    // Then one at a time, a pass each, while joystick 4 goes on every pass.
    script.tick += kProbeMs;
    for (int pass = 1; pass <= kJoystickMax - 1; ++pass) {
        SampleJoysticks(state);
        LONG absentAsked = 0;
        for (int j = 0; j < kJoystickMax; ++j) absentAsked += j == 3 ? 0 : script.asked[j] - 2;
        EXPECT_EQ(absentAsked, pass);
    }
    EXPECT_EQ(script.asked[3], 7 + kJoystickMax - 1);
}

namespace {

// With a window, Windows promises only a non-zero return; this one returns
// 1, Padwig's poll timer id (Wine returns the id passed).
UINT_PTR WINAPI SetTimerReturningOne(HWND window, UINT_PTR id, UINT ms, TIMERPROC proc) {
    return SetTimer(window, id, ms, proc) ? 1 : 0;
}

}  // namespace

TEST_F(PadwigSink, InTheTrayAndBackEdgesGoOutWhateverSetTimerReturns) {
    WriteSettings("01=00,00,01,02\r\n", 1);
    g_setTimer = SetTimerReturningOne;
    mt::MapperWindow w(&kPadwigProgram, true);
    SendMessageA(w.window(), WM_SYSCOMMAND, IDM_SYS_TOTRAY, 0);
    ASSERT_EQ(State(w)->inTray, 1);
    Settle(w, 0, 1);
    EXPECT_TRUE(tt::WaitUntil([&] { return mt::ReadSinkLog(log).size() == 1; }, 3000));
    SendMessageA(w.window(), WM_COMMAND, IDM_TRAY_RESTORE, 0);
    ASSERT_EQ(State(w)->inTray, 0);
    Settle(w, 0, 0);
    EXPECT_TRUE(tt::WaitUntil([&] { return mt::ReadSinkLog(log).size() == 2; }, 3000));
}

TEST_F(Padwig, TheStatusIsWrittenOnlyWhenItChanges) {
    mt::MapperWindow w(&kPadwigProgram);
    HWND window = w.window();
    RefreshJoystickStatus(window);
    static int writes = 0;
    static WNDPROC original = nullptr;
    HWND status = GetDlgItem(window, IDC_STATUS);
    original = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        status, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_SETTEXT) ++writes;
            return CallWindowProcA(original, h, m, wp, lp);
        })));
    for (int i = 0; i < 3; ++i) {
        State(w)->lastStatusTick = 0;
        RefreshJoystickStatus(window);
    }
    EXPECT_EQ(writes, 0);
    script.posFail = true;
    State(w)->lastStatusTick = 0;
    RefreshJoystickStatus(window);
    EXPECT_EQ(writes, 1);
    SetWindowLongPtrA(status, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
}

TEST_F(Padwig, SavedBindingsComeBackAsTheyWereAndALaterEntryKeepsWhatItLeavesOut) {
    // A later entry for the same button with press 00 keeps the earlier press.
    WriteSettings("01=00,00,01,02\r\n02=00,00,00,03\r\n", 2);
    {
        mt::MapperWindow w(&kPadwigProgram, true);
        EXPECT_EQ(BindingAt(State(w)->buttonLists[0], 0)->pressCommand, 1);
        EXPECT_EQ(BindingAt(State(w)->buttonLists[0], 0)->releaseCommand, 3);
        // 70 bindings over three joysticks, saved.
        for (int i = 0; i < 70; ++i) {
            ButtonBinding *binding = BindingAt(State(w)->buttonLists[i / 32], i % 32);
            binding->pressCommand = i % 4;
            binding->releaseCommand = 1 + i % 3;
        }
        SaveBindings(w.window());
    }
    {
        mt::MapperWindow w(&kPadwigProgram, true);
        EXPECT_EQ(State(w)->activeBindings.count, 70);
        for (int i = 0; i < 70; ++i) {
            const ButtonBinding *binding = BindingAt(State(w)->buttonLists[i / 32], i % 32);
            EXPECT_EQ(binding->pressCommand, i % 4) << i;
            EXPECT_EQ(binding->releaseCommand, 1 + i % 3) << i;
        }
        // ｸﾘｱ empties every binding and the selections; one binding saved
        // then leaves the longer save's keys in the file, unread.
        HWND window = w.window();
        SendDlgItemMessageA(window, IDC_BUTTONS, LB_SETCURSEL, 1, 0);
        SendDlgItemMessageA(window, IDC_RELEASE_COMMAND, LB_SETCURSEL, 2, 0);
        SendMessageA(window, WM_COMMAND, IDC_CLEAR, 0);
        EXPECT_EQ(mt::ListSelection(window, IDC_BUTTONS), -1);
        EXPECT_EQ(mt::ListSelection(window, IDC_RELEASE_COMMAND), -1);
        BindingAt(State(w)->buttonLists[2], 5)->releaseCommand = 2;
        SaveBindings(window);
    }
    EXPECT_EQ(tt::ReadIni(mt::MapperWindow::SettingsPath(), "Map", "Count"), "1");
    EXPECT_EQ(tt::ReadIni(mt::MapperWindow::SettingsPath(), "Map", "70"), "02,05,01,01");
    mt::MapperWindow w(&kPadwigProgram, true);
    ASSERT_EQ(State(w)->activeBindings.count, 1);
    EXPECT_EQ(BindingAt(State(w)->activeBindings, 0)->releaseCommand, 2);
}

namespace {

// What the window holds, checked for sense on the way.
mt::MapperReading ReadPadwig(HWND window) {
    PadwigState *state = GetPadwigState(window);
    mt::MapperReading snap;
    EXPECT_GE(state->commandCount, 1);
    EXPECT_LE(state->commandCount, 100);
    for (int i = 0; i < state->commandCount; ++i) snap.lines.push_back(state->commands[i]);
    EXPECT_EQ(mt::ListLines(window, IDC_PRESS_COMMAND).size(), static_cast<size_t>(state->commandCount));
    for (int j = 0; j < kJoystickMax; ++j) {
        EXPECT_EQ(state->buttonLists[j].count, kButtonMax);
        for (int b = 0; b < state->buttonLists[j].count; ++b) {
            const ButtonBinding *binding = BindingAt(state->buttonLists[j], b);
            EXPECT_GE(binding->pressCommand, 0);
            EXPECT_LT(binding->pressCommand, state->commandCount);
            EXPECT_GE(binding->releaseCommand, 0);
            EXPECT_LT(binding->releaseCommand, state->commandCount);
            if (!binding->pressCommand && !binding->releaseCommand) continue;
            ++snap.bindings;
            snap.lines.push_back(std::to_string(j) + "," + std::to_string(b) + "," +
                                 std::to_string(binding->pressCommand) + "," + std::to_string(binding->releaseCommand));
        }
    }
    EXPECT_EQ(mt::ListLines(window, IDC_BUTTONS).size(), static_cast<size_t>(kButtonMax));
    snap.lines.push_back(state->iconToTray ? "Icon2Tray" : "");
    return snap;
}

}  // namespace

// make soak runs a thousand cases (TAVOLIN_SETTINGS_CASES); make test a few.
TEST_F(Padwig, AnyFileStartsSaneAndASaveReadsBackTheSame) {
    const std::string good =
        "[Padwig]\r\nVersion=2.3(32)\r\nIcon2Tray=1\r\n[DDE]\r\nServiceName=Nobody\r\nTopicName=Command\r\n"
        "[Command]\r\nCount=10\r\n01=[Play()]\r\n02=[Pause()]\r\n03=[Play(-5000)]\r\n04=[Top()]\r\n"
        "08=[PlayPause(-5000)]\r\n10=[Close()]\r\n[Map]\r\nCount=5\r\n01=00,00,03,02\r\n02=00,01,08,00\r\n"
        "03=15,31,01,10\r\n04=03,07,00,04\r\n05=01,02,02,02\r\n";
    mt::StartOnDamagedSettings(&kPadwigProgram, good, 40, ReadPadwig);
}

// The first button of all 16 joysticks going down and up together, through
// the real timers, to a counting stand-in for the player that ends and starts
// again: every edge made while it runs sends its command, and memory stays
// flat. make soak makes 20 000 edges (TAVOLIN_BUTTON_EDGES).
TEST_F(Padwig, EveryEdgeReachesAPlayerThatComesAndGoes) {
    const char *asked = getenv("TAVOLIN_BUTTON_EDGES");
    const int total = asked ? atoi(asked) : 960;
    std::string map;
    for (int j = 0; j < kJoystickMax; ++j) {
        char line[32];
        wsprintfA(line, "%02d=%02d,00,01,02\r\n", j + 1, j);
        map += line;
    }
    WriteSettings(map, kJoystickMax);
    script.realTimer = true;
    mt::MapperWindow w(&kPadwigProgram, true);
    tt::TempDir dir;
    const std::string log = dir.File("count.log");
    constexpr int kToggles = 30;  // even: every round ends with the buttons up
    std::vector<tt::Usage> usage;
    int sent = 0, arrived = 0;
    const DWORD start = GetTickCount();
    size_t afterFirstMinute = 0;
    for (int round = 0; sent < total; ++round) {
        tt::Program sink;
        ASSERT_TRUE(mt::StartSink(sink, "Sink", log, "quiet"));
        for (int t = 0; t < kToggles; ++t) {
            for (auto &b : script.buttons) b ^= 1;
            tt::Pump(60);
        }
        const int edges = kToggles * kJoystickMax;
        sent += edges;
        const int got = mt::SinkCount(log, edges);
        arrived += got;
        EXPECT_EQ(got, edges) << "round " << round;
        if (round % 2) {
            DdeLink().Execute("Sink", "Command", "[Quit]", 3000);
            EXPECT_EQ(sink.WaitExit(5000), 0);
        } else {
            TerminateProcess(sink.info.hProcess, 1);
            sink.WaitExit(5000);
        }
        usage.push_back(tt::MeasureProcess(GetCurrentProcess()));
        if (!afterFirstMinute && GetTickCount() - start >= 60000) afterFirstMinute = usage.size();
    }
    printf("joystick soak: %d edges while the player was up, %d commands arrived, %d lost; resident bytes %lu -> %lu, "
           "%lu s\n",
           sent, arrived, sent - arrived, static_cast<unsigned long>(usage.front().workingSet),
           static_cast<unsigned long>(usage.back().workingSet), (GetTickCount() - start) / 1000);
    EXPECT_EQ(arrived, sent);
    if (afterFirstMinute)  // a long run only: per edge
        tt::ExpectSlope("Padwig", usage, afterFirstMinute, static_cast<double>(kToggles) * kJoystickMax, 2);
}
