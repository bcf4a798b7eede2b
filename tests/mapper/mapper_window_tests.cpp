// The mapper frame in this process, on Padwig's window: system menu, tray,
// record arrays, and the DDE client against a real player and a stand-in.
#include "mapper_support.h"
#include <gtest/gtest.h>
#include <shellapi.h>
#include <algorithm>
#include "common/dde_client.h"
#include "common/mapper_ids.h"
#include "host_system.h"
#include "settings_section.h"
#include "padwig_program.h"
#include "padwig_state.h"
#include "player_process.h"

namespace {

std::string MenuText(HMENU menu, UINT id) {
    char text[128] = "";
    GetMenuStringA(menu, id, text, sizeof text, MF_BYCOMMAND);
    return text;
}

void UseService(const char *service) {
    WritePrivateProfileStringA("DDE", "ServiceName", service, mt::MapperWindow::SettingsPath().c_str());
}

// The first-run settings file with the service named.
void FreshSettingsFor(const char *service) {
    DeleteFileA(mt::MapperWindow::SettingsPath().c_str());
    mt::MapperWindow first(&kPadwigProgram);
    UseService(service);
}

// A top-level window whose thread stops answering for a while, as a busy
// program's does.
class HungWindow {
public:
    HungWindow() : hang_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
        tt::WaitUntil([&] { return window_ != nullptr; }, 5000);
    }
    ~HungWindow() {
        SetEvent(hang_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        CloseHandle(hang_);
    }
    HungWindow(const HungWindow &) = delete;
    HungWindow &operator=(const HungWindow &) = delete;
    void Hang(DWORD ms) {
        hangMs_ = ms;
        SetEvent(hang_);
    }

private:
    static DWORD WINAPI Run(LPVOID param) {
        HungWindow *self = static_cast<HungWindow *>(param);
        HWND window = CreateWindowA("STATIC", "hung", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        self->window_ = window;
        while (MsgWaitForMultipleObjects(1, &self->hang_, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        }
        Sleep(self->hangMs_);
        DestroyWindow(window);
        return 0;
    }
    HANDLE hang_;
    HANDLE thread_;
    volatile HWND window_ = nullptr;
    DWORD hangMs_ = 0;
};

// Live movable memory blocks are counted by the process; this is how many
// more it can have.
size_t MovableBlocksLeft() {
    std::vector<HGLOBAL> blocks;
    while (blocks.size() < 300000) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 1);
        if (!block) break;
        blocks.push_back(block);
    }
    for (HGLOBAL block : blocks) GlobalFree(block);
    return blocks.size();
}

}  // namespace

TEST(MapperFrame, RecordArrayGrowsByTenBeforeItFills) {
    RecordArray array;
    ASSERT_TRUE(RecordArrayInit(&array, sizeof(ButtonBinding)));
    EXPECT_EQ(array.capacity, 10);
    ButtonBinding entry = {};
    for (int i = 0; i < 9; ++i) {
        entry.button = static_cast<DWORD>(i);
        ASSERT_TRUE(RecordArrayAppend(&array, &entry, sizeof entry));
    }
    EXPECT_EQ(array.capacity, 10);
    entry.button = 9;
    ASSERT_TRUE(RecordArrayAppend(&array, &entry, sizeof entry));
    EXPECT_EQ(array.capacity, 20);
    EXPECT_EQ(array.count, 10);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(BindingAt(array, i)->button, static_cast<DWORD>(i));
    RecordArrayFree(&array);
    EXPECT_EQ(array.capacity, 0);
    EXPECT_EQ(array.data, nullptr);
}

TEST(MapperFrame, TheWindowHasTheLoadedLargeAndSmallIcons) {
    mt::MapperWindow w(&kPadwigProgram);
    const MapperState *state = GetMapperState(w.window());
    EXPECT_EQ(SendMessageA(w.window(), WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(state->largeIcon));
    EXPECT_EQ(SendMessageA(w.window(), WM_GETICON, ICON_SMALL, 0), reinterpret_cast<LRESULT>(state->smallIcon));
}

TEST(MapperFrame, SystemMenuOffersTrayItemsButNeverMaximiseOrSize) {
    mt::MapperWindow w(&kPadwigProgram);
    HWND window = w.window();
    HMENU menu = GetSystemMenu(window, FALSE);
    SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, 1));
    EXPECT_EQ(GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_EQ(GetMenuState(menu, SC_SIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_TRUE(GetMenuState(menu, SC_RESTORE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_FALSE(GetMenuState(menu, SC_MINIMIZE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_EQ(MenuText(menu, IDM_SYS_TOTRAY), tt::Ansi("ﾀｽｸﾄﾚｲに格納(&T)"));
    EXPECT_EQ(MenuText(menu, IDM_SYS_ICON2TRAY), tt::Ansi("最小化でﾀｽｸﾄﾚｲに格納(&I)"));
    EXPECT_FALSE(GetMenuState(menu, IDM_SYS_ICON2TRAY, MF_BYCOMMAND) & MF_CHECKED);
    SendMessageA(window, WM_SYSCOMMAND, IDM_SYS_ICON2TRAY, 0);
    SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, 1));
    EXPECT_TRUE(GetMenuState(menu, IDM_SYS_ICON2TRAY, MF_BYCOMMAND) & MF_CHECKED);
    // Minimised: Restore enabled, Minimize grey; and with the toggle on, the
    // window goes on to the tray.
    ShowWindow(window, SW_MINIMIZE);
    SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, 1));
    EXPECT_FALSE(GetMenuState(menu, SC_RESTORE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(menu, SC_MINIMIZE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(tt::WaitUntil([&] { return GetMapperState(window)->inTray != 0; }, 3000));
}

TEST(MapperFrame, TrayComesAndGoesAndSurvivesTheShellLosingTheIcon) {
    mt::MapperWindow w(&kPadwigProgram);
    HWND window = w.window();
    MapperState *state = GetMapperState(window);
    SendMessageA(window, WM_SYSCOMMAND, IDM_SYS_TOTRAY, 0);
    ASSERT_EQ(state->inTray, 1);
    EXPECT_EQ(state->trayTimer, 2u);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_STREQ(state->trayIcon.szTip, "mapper_window_tests");
    EXPECT_TRUE(mt::TrayIconShown(window, 2));
    // Sending again changes nothing.
    SendMessageA(window, WM_SYSCOMMAND, IDM_SYS_TOTRAY, 0);
    EXPECT_EQ(state->inTray, 1);
    // The tray menu shows "take out" as its default item.
    HMENU popup = GetSubMenu(state->trayMenu, 0);
    SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
    EXPECT_EQ(GetMenuDefaultItem(popup, FALSE, 0), static_cast<UINT>(IDM_TRAY_RESTORE));
    // The shell loses the icon; its restart message brings it back.
    NOTIFYICONDATAA gone = {};
    gone.cbSize = NOTIFYICONDATAA_V1_SIZE;
    gone.hWnd = window;
    gone.uID = 2;
    Shell_NotifyIconA(NIM_DELETE, &gone);
    ASSERT_FALSE(mt::TrayIconShown(window, 2));
    SendMessageA(window, state->taskbarCreatedMessage, 0, 0);
    EXPECT_TRUE(mt::TrayIconShown(window, 2));
    // Lost without a word, it is back within the 3 s refresh.
    Shell_NotifyIconA(NIM_DELETE, &gone);
    EXPECT_TRUE(tt::WaitUntil([&] { return mt::TrayIconShown(window, 2); }, 4500, 100));
    // A double click on the icon takes the window out.
    SendMessageA(window, 0x8020, 2, WM_LBUTTONDBLCLK);
    ASSERT_TRUE(tt::WaitUntil([&] { return state->inTray == 0; }, 3000));
    EXPECT_EQ(state->trayTimer, 0u);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(mt::TrayIconShown(window, 2));
}

TEST(MapperFrame, TheTrayMenusCloseEndsTheWindowStoringTheToggledIcon2Tray) {
    DeleteFileA(mt::MapperWindow::SettingsPath().c_str());
    mt::MapperWindow w(&kPadwigProgram);
    HWND window = w.window();
    EXPECT_EQ(tt::ReadIni(mt::MapperWindow::SettingsPath(), "Padwig", "Icon2Tray"), "");
    SendMessageA(window, WM_SYSCOMMAND, IDM_SYS_ICON2TRAY, 0);
    SendMessageA(window, WM_SYSCOMMAND, IDM_SYS_TOTRAY, 0);
    SendMessageA(window, WM_COMMAND, IDM_TRAY_EXIT, 0);
    EXPECT_TRUE(tt::WaitUntil([&] { return !IsWindow(window); }, 3000));
    EXPECT_EQ(tt::ReadIni(mt::MapperWindow::SettingsPath(), "Padwig", "Icon2Tray"), "1");
    EXPECT_FALSE(mt::TrayIconShown(window, 2));
}

TEST(MapperDde, ReachesAPlayerStartedLaterAndAgainAfterItRestarts) {
    FreshSettingsFor("Tavolin");
    mt::MapperWindow w(&kPadwigProgram, true);
    tt::TempDir dir;
    const std::string wave = dir.File("tone.wav");
    tt::WriteWave(wave, 3000);
    const std::string open = "[Open(" + wave + ")]";
    // No player yet: the command is dropped without a word.
    DdeClientExecute(w.window(), open.c_str());
    EXPECT_EQ(DdeClientConversation(), nullptr);

    const std::string exe = tt::Stage(dir, "Tavolin.exe", "Tavolin.exe");
    tt::WriteIni(exe.substr(0, exe.size() - 4) + ".ini", "Tavolin", "ShowError", "0");
    DdeLink link;
    auto length = [&] {
        std::string reply;
        return link.Request("Tavolin", "Command", "GetLen", &reply, 5000) == DdeOutcome::Done ? atoi(reply.c_str())
                                                                                             : -1;
    };
    for (int run = 0; run < 2; ++run) {
        tt::Program player;
        ASSERT_TRUE(tt::Start(player, exe, ""));
        EXPECT_EQ(length(), 0);
        tt::Pump(50);  // the player's registration, posted to every DDE instance, is taken in
        DdeClientExecute(w.window(), open.c_str());
        EXPECT_TRUE(tt::WaitUntil([&] { return length() >= 2900; }, 5000)) << "run " << run;
        // The first player ends without a word to its clients.
        TerminateProcess(player.info.hProcess, 1);
        player.WaitExit(5000);
        tt::Pump(300);
    }
}

TEST(MapperDde, CommandsArriveWholeWithoutWaitingForTheServer) {
    FreshSettingsFor("Sink");
    mt::MapperWindow w(&kPadwigProgram, true);
    tt::TempDir dir;
    const std::string log = dir.File("sink.log");
    tt::Program sink;
    ASSERT_TRUE(mt::StartSink(sink, "Sink", log));
    const std::string longest(259, 'c');
    const DWORD start = GetTickCount();
    DdeClientExecute(w.window(), "[Stall]");
    DdeClientExecute(w.window(), longest.c_str());
    // Both calls returned at once, while the server still sleeps in the
    // first: neither waited for its answer.
    EXPECT_LT(GetTickCount() - start, 100u);
    EXPECT_LE(mt::ReadSinkLog(log).size(), 1u);
    ASSERT_TRUE(tt::WaitUntil([&] { return mt::ReadSinkLog(log).size() == 2; }, 10000));
    const std::vector<mt::SinkExecute> got = mt::ReadSinkLog(log);
    EXPECT_EQ(got[0].bytes, std::string("[Stall]", 8));
    EXPECT_EQ(got[1].bytes, longest + '\0');

    // A changed service name counts only from the next start: the mapper
    // reaches the same service again after it ends and comes back.
    UseService("Elsewhere");
    DdeClientExecute(w.window(), "[Quit]");
    EXPECT_EQ(sink.WaitExit(5000), 0);
    tt::Pump(300);
    tt::Program again;
    ASSERT_TRUE(mt::StartSink(again, "Sink", log));
    DdeClientExecute(w.window(), "[Top()]");
    ASSERT_TRUE(tt::WaitUntil([&] { return mt::ReadSinkLog(log).size() == 1; }, 5000));
    EXPECT_EQ(mt::ReadSinkLog(log)[0].bytes, std::string("[Top()]", 8));
    DdeClientExecute(w.window(), "[Quit]");
    EXPECT_EQ(again.WaitExit(5000), 0);
}

TEST(MapperDde, WithNoServerAHungWindowCostsNothingAndARegistrationIsHeard) {
    FreshSettingsFor("Sink");
    HungWindow hung;
    const DWORD retry = g_ddeRetryMs;
    g_ddeRetryMs = 60000;  // only the service's registration may bring a connect
    {
        mt::MapperWindow w(&kPadwigProgram, true);
        EXPECT_EQ(DdeClientConversation(), nullptr);
        hung.Hang(1500);
        const DWORD start = GetTickCount();
        for (int i = 0; i < 20; ++i) DdeClientExecute(w.window(), "[Play()]");
        EXPECT_LT(GetTickCount() - start, 100u);
        tt::Pump(1600);  // the hung window answers again

        tt::TempDir dir;
        const std::string log = dir.File("sink.log");
        tt::Program sink;
        ASSERT_TRUE(mt::StartSink(sink, "Sink", log));
        tt::Pump(100);
        DdeClientExecute(w.window(), "[Top()]");
        EXPECT_TRUE(tt::WaitUntil([&] { return mt::ReadSinkLog(log).size() == 1; }, 5000));
        DdeClientExecute(w.window(), "[Quit]");
        EXPECT_EQ(sink.WaitExit(5000), 0);
    }
    g_ddeRetryMs = retry;
}

// Presses spread out, each past the slow retry, while a window hangs and no
// server runs: none waits on the hung window.
TEST(MapperDde, PressesSpreadOutNeverWaitOnAHungWindow) {
    FreshSettingsFor("Sink");
    HungWindow hung;
    mt::MapperWindow w(&kPadwigProgram, true);
    hung.Hang(9000);
    DWORD longest = 0;
    for (int i = 0; i < 5; ++i) {
        tt::Pump(1500);
        const DWORD start = GetTickCount();
        DdeClientExecute(w.window(), "[Play()]");
        longest = std::max(longest, GetTickCount() - start);
    }
    EXPECT_LT(longest, 1000u);  // a broadcast waits 5 s on the hung window
}

TEST(MapperDde, AServerThatNeverRegistersIsFoundAgainAfterItQuits) {
    FreshSettingsFor("Sink");
    mt::MapperWindow w(&kPadwigProgram, true);
    tt::TempDir dir;
    const std::string log = dir.File("sink.log");
    for (int run = 0; run < 2; ++run) {
        tt::Program sink;
        ASSERT_TRUE(mt::StartSink(sink, "Sink", log, "raw"));
        // Nothing announces it: the mapper's slow retry finds it.
        EXPECT_TRUE(tt::WaitUntil([&] {
            DdeClientExecute(w.window(), "[Top()]");
            return !mt::ReadSinkLog(log).empty();
        }, 5000, 250)) << "run " << run;
        DdeClientExecute(w.window(), "[Quit]");
        EXPECT_EQ(sink.WaitExit(5000), 0);
    }
}

TEST(MapperDde, CommandsLeaveNothingBehindInTheClient) {
    FreshSettingsFor("Sink");
    mt::MapperWindow w(&kPadwigProgram, true);
    tt::TempDir dir;
    const std::string log = dir.File("sink.log");
    tt::Program sink;
    ASSERT_TRUE(mt::StartSink(sink, "Sink", log));
    DdeClientExecute(w.window(), "[Top()]");
    ASSERT_TRUE(tt::WaitUntil([&] { return mt::ReadSinkLog(log).size() == 1; }, 5000));
    // Every execute's acknowledgement has come back: the client holds no
    // memory block for any of them.
    tt::Pump(300);
    const size_t before = MovableBlocksLeft();
    for (int i = 0; i < 300; ++i) DdeClientExecute(w.window(), "[Zero()]");
    ASSERT_TRUE(tt::WaitUntil([&] { return mt::ReadSinkLog(log).size() == 301; }, 20000));
    tt::Pump(300);
    EXPECT_GE(MovableBlocksLeft() + 10, before);
    // On Windows DDEML frees the block itself: there (said through the seam)
    // the conversation window keeps DDEML's own procedure.
    auto procedureIsOurs = [] {
        CONVINFO info = {};
        info.cb = sizeof info;
        DdeQueryConvInfo(DdeClientConversation(), QID_SYNC, &info);
        HMODULE module = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(GetWindowLongPtrA(info.hwnd, GWLP_WNDPROC)), &module);
        return module == GetModuleHandleA(nullptr);
    };
    EXPECT_TRUE(procedureIsOurs());
    g_hostIsWine = 0;
    DdeClientDisconnect(w.window());
    DdeClientConnect(w.window());
    g_hostIsWine = -1;  // the connect has taken it
    ASSERT_TRUE(DdeClientConversation());
    EXPECT_FALSE(procedureIsOurs());
    DdeClientExecute(w.window(), "[Quit]");
    EXPECT_EQ(sink.WaitExit(5000), 0);
}

// make soak runs it with TAVOLIN_MAPPER_COMMANDS=200000 (past where a client
// keeping a block per command stops); make test with a short run.
TEST(MapperSoak, EveryCommandOfALongRunArrives) {
    const char *asked = getenv("TAVOLIN_MAPPER_COMMANDS");
    const int total = asked ? atoi(asked) : 3000;
    FreshSettingsFor("Sink");
    mt::MapperWindow w(&kPadwigProgram, true);
    tt::TempDir dir;
    const std::string log = dir.File("sink.log");
    tt::Program sink;
    ASSERT_TRUE(mt::StartSink(sink, "Sink", log, "quiet"));
    auto arrived = [&] {
        const std::vector<mt::SinkExecute> counts = mt::ReadSinkLog(log);
        return counts.empty() ? -1 : atoi(counts.back().bytes.c_str());
    };
    const DWORD start = GetTickCount();
    int sent = 0;
    std::vector<tt::Usage> usage;
    size_t afterFirstMinute = 0;
    while (sent < total) {
        for (int i = 0; i < 500 && sent < total; ++i, ++sent) DdeClientExecute(w.window(), "[Zero()]");
        DdeClientExecute(w.window(), "[Count]");
        if (!tt::WaitUntil([&] { return arrived() == sent; }, 30000, 1)) break;
        usage.push_back(tt::MeasureProcess(GetCurrentProcess()));
        if (!afterFirstMinute && GetTickCount() - start >= 60000) afterFirstMinute = usage.size();
    }
    const int got = arrived();
    printf("mapper soak: %d commands sent from one process, %d arrived, %d lost, %lu s\n", sent, got, sent - got,
           (GetTickCount() - start) / 1000);
    EXPECT_EQ(got, total);
    // 501 commands between samples (the count asked for is one more).
    if (afterFirstMinute) tt::ExpectSlope("mapper client", usage, afterFirstMinute, 501, 2);  // a long run only
    DdeClientExecute(w.window(), "[Quit]");
    EXPECT_EQ(sink.WaitExit(5000), 0);
}

// A section read at once gives each value and number as a read of its key
// would, on any file.
TEST(MapperSettings, ASectionReadAtOnceGivesWhatEachKeyReadGives) {
    const std::string path = mt::MapperWindow::SettingsPath();
    const std::string good = "[Command]\r\nCount=12\r\n01=[Play()]\r\n02 = \"[Pause()]\" \r\n03='x'\r\n04=\"\r\n05\r\n"
                             "06=a=b\r\n07= -12x\r\n08=+2147483649\r\n09=\"-3\"\r\n[Map]\r\nCount=3\r\n01=008,049,01\r\n02=004,037,02\r\n01=000,112,03\r\n";
    for (unsigned seed = 1; seed <= 150; ++seed) {
        tt::IniCase kind;
        const std::string text = tt::DamagedIni(good, seed, &kind);
        if (kind != tt::IniCase::Text) continue;
        tt::PlaceIni(path, text, kind);
        for (const char *name : {"Command", "Map"}) {
            const SettingsSection section(name, path.c_str());
            for (int n = 0; n <= 120; ++n) {
                char key[16];
                wsprintfA(key, n == 120 ? "Count" : "%02d", n);
                char one[kTextSize], all[kTextSize];
                GetPrivateProfileStringA(name, key, "dflt", one, sizeof one, path.c_str());
                section.Value(key, all, sizeof all, "dflt");
                ASSERT_STREQ(all, one) << "seed " << seed << ", [" << name << "] " << key;
                ASSERT_EQ(section.Int(key, -77), static_cast<int>(GetPrivateProfileIntA(name, key, -77, path.c_str())))
                    << "seed " << seed << ", [" << name << "] " << key << "=" << one;
            }
        }
    }
    tt::RemoveIni(path);
}
