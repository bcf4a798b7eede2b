// The real Runeby.exe and Padwig.exe, started from temporary folders.
#include "mapper_support.h"
#include <gtest/gtest.h>
#include <commctrl.h>
#include <shellapi.h>
#include "common/mapper_ids.h"
#include "dde_link.h"

namespace {

struct Mapper {
    const char *exe;
    const char *windowClass;
    const char *word;
    UINT trayId;
    int commandLists[2];
    int toolCount;        // Padwig adds a rectangle tool for every control
    const char *firstRunIni;
};

const Mapper kRuneby = {
    "Runeby.exe", "RunebyWndClass", "Runeby", 1, {1001, 0}, 9,
    "[Runeby]\r\nVersion=2.3(32)\r\nIcon2Tray=0\r\n[DDE]\r\nServiceName=Tavolin\r\nTopicName=Command\r\n"
    "[Command]\r\nCount=10\r\n01=[Play()]\r\n02=[Pause()]\r\n04=[Top()]\r\n05=[SeekRel(-5000)]\r\n"
    "06=[SeekRel(5000)]\r\n07=[Last()]\r\n10=[Close()]\r\n[Map]\r\nCount=7\r\n01=008,049,01\r\n02=008,050,02\r\n"
    "03=008,052,04\r\n04=008,053,05\r\n05=008,054,06\r\n06=008,055,07\r\n07=008,048,10\r\n"};
const Mapper kPadwig = {
    "Padwig.exe", "PadwigWndClass", "Padwig", 2, {1003, 1004}, 18,
    "[Padwig]\r\nVersion=2.3(32)\r\nIcon2Tray=0\r\n[DDE]\r\nServiceName=Tavolin\r\nTopicName=Command\r\n"
    "[Command]\r\nCount=10\r\n01=[Play()]\r\n02=[Pause()]\r\n03=[Play(-5000)]\r\n04=[Top()]\r\n"
    "05=[SeekRel(-5000)]\r\n06=[SeekRel(5000)]\r\n07=[Last()]\r\n08=[PlayPause(-5000)]\r\n10=[Close()]\r\n"
    "[Map]\r\nCount=2\r\n01=00,00,03,02\r\n02=00,01,08,00\r\n"};

// Stages the program (Runeby with its hook library) as `as` in `folder`.
std::string StageMapper(const std::string &folder, const Mapper &m, const std::string &as) {
    const std::string exe = folder + "\\" + as;
    CopyFileA((tt::BinDir() + "\\" + m.exe).c_str(), exe.c_str(), FALSE);
    if (m.trayId == 1) CopyFileA((tt::BinDir() + "\\Clavtrap.dll").c_str(), (folder + "\\Clavtrap.dll").c_str(), FALSE);
    return exe;
}

std::string IniOf(const std::string &exe) { return exe.substr(0, exe.size() - 4) + ".ini"; }

int ToolCount(DWORD processId) {
    int tools = 0;
    for (HWND tip : tt::ProcessWindows(processId, "tooltips_class32"))
        tools += static_cast<int>(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0));
    return tools;
}

class MapperProgramTest : public ::testing::TestWithParam<const Mapper *> {
protected:
    tt::TempDir dir;
};

}  // namespace

TEST_P(MapperProgramTest, FirstRunWritesTheDefaultsAndShowsTheCommandList) {
    const Mapper &m = *GetParam();
    const std::string exe = StageMapper(dir.path, m, m.exe);
    tt::Program mapper;
    ASSERT_TRUE(tt::Start(mapper, exe, "", m.windowClass));
    EXPECT_EQ(tt::WindowText(mapper.window), m.word);
    for (int id : m.commandLists) {
        if (!id) continue;
        const std::vector<std::string> lines = mt::ListLines(mapper.window, id);
        ASSERT_EQ(lines.size(), 11u);
        EXPECT_EQ(lines[0], tt::Ansi("00:(なし)"));
        EXPECT_EQ(lines[1], "01:[Play()]");
        EXPECT_EQ(lines[9], "09:");
        EXPECT_EQ(lines[10], "10:[Close()]");
    }
    EXPECT_EQ(ToolCount(mapper.info.dwProcessId), m.toolCount);
    // Esc does not close the window; the close button does, storing Icon2Tray.
    PostMessageA(mapper.window, WM_COMMAND, IDCANCEL, 0);
    tt::Pump(200);
    ASSERT_TRUE(mapper.Running());
    tt::PressButton(mapper.window, IDC_CLOSE);
    EXPECT_EQ(mapper.WaitExit(10000), 0);
    EXPECT_EQ(tt::ReadFileText(IniOf(exe)), m.firstRunIni);
    // A second run finds "Version" and writes nothing new: a command edited
    // by hand stays as it is.
    tt::WriteIni(IniOf(exe), "Command", "01", "[Zero()]");
    tt::Program again;
    ASSERT_TRUE(tt::Start(again, exe, "", m.windowClass));
    EXPECT_TRUE(again.Close());
    std::string edited = m.firstRunIni;
    edited.replace(edited.find("01=[Play()]"), 11, "01=[Zero()]");
    EXPECT_EQ(tt::ReadFileText(IniOf(exe)), edited);
}

TEST_P(MapperProgramTest, SecondStartBringsTheFirstBackFromTheTray) {
    const Mapper &m = *GetParam();
    const std::string exe = StageMapper(dir.path, m, m.exe);
    tt::Program first;
    ASSERT_TRUE(tt::Start(first, exe, "", m.windowClass));
    PostMessageA(first.window, WM_SYSCOMMAND, IDM_SYS_TOTRAY, 0);
    ASSERT_TRUE(tt::WaitUntil([&] { return !IsWindowVisible(first.window); }, 5000));
    EXPECT_TRUE(mt::TrayIconShown(first.window, m.trayId));
    tt::Program second;
    ASSERT_TRUE(tt::StartProcess(second, "\"" + exe + "\""));
    EXPECT_EQ(second.WaitExit(10000), 0);
    EXPECT_TRUE(tt::WaitUntil([&] { return IsWindowVisible(first.window) && !IsIconic(first.window); }, 5000));
    EXPECT_TRUE(tt::WaitUntil([&] { return !mt::TrayIconShown(first.window, m.trayId); }, 3000));
    EXPECT_TRUE(first.Close());
}

TEST_P(MapperProgramTest, StartedMinimisedWithIcon2TrayGoesToTheTray) {
    const Mapper &m = *GetParam();
    const std::string exe = StageMapper(dir.path, m, m.exe);
    tt::WriteFileBytes(IniOf(exe), std::string("[") + m.word + "]\r\nVersion=2.3(32)\r\nIcon2Tray=1\r\n");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINNOACTIVE;
    std::string line = "\"" + exe + "\"";
    tt::Program mapper;
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &mapper.info));
    ASSERT_TRUE(tt::WaitUntil([&] {
        mapper.window = FindWindowA(m.windowClass, nullptr);
        return mapper.window && mt::TrayIconShown(mapper.window, m.trayId) && !IsWindowVisible(mapper.window);
    }, 10000));
    EXPECT_TRUE(mapper.Close());
    EXPECT_EQ(tt::ReadIni(IniOf(exe), m.word, "Icon2Tray"), "1");
}

TEST_P(MapperProgramTest, EmptyVersionRewritesTheDefaultsAndKeepsOtherKeys) {
    const Mapper &m = *GetParam();
    const std::string exe = StageMapper(dir.path, m, m.exe);
    const std::string ini = IniOf(exe);
    tt::WriteFileBytes(ini, std::string("[") + m.word + "]\r\nVersion=\r\nOther=kept\r\n[Command]\r\nCount=3\r\n"
                                                        "01=[Zero()]\r\n11=[Top()]\r\n[DDE]\r\nServiceName=Elsewhere\r\n");
    tt::Program mapper;
    ASSERT_TRUE(tt::Start(mapper, exe, "", m.windowClass));
    EXPECT_EQ(tt::ReadIni(ini, "Command", "Count"), "10");
    EXPECT_EQ(tt::ReadIni(ini, "Command", "01"), "[Play()]");
    EXPECT_EQ(tt::ReadIni(ini, "Command", "11"), "[Top()]");
    EXPECT_EQ(tt::ReadIni(ini, "DDE", "ServiceName"), "Tavolin");
    EXPECT_EQ(tt::ReadIni(ini, m.word, "Other"), "kept");
    EXPECT_TRUE(mapper.Close());
}

TEST_P(MapperProgramTest, CommandCountIsBoundedAndLongValuesCut) {
    const Mapper &m = *GetParam();
    const std::string exe = StageMapper(dir.path, m, m.exe);
    const std::string ini = IniOf(exe);
    const std::string longCommand(400, 'x');
    for (const char *count : {"150", "-5"}) {
        tt::WriteFileBytes(ini, std::string("[") + m.word + "]\r\nVersion=2.3(32)\r\n[Command]\r\nCount=" + count +
                                    "\r\n02=" + longCommand + "\r\n");
        tt::Program mapper;
        ASSERT_TRUE(tt::Start(mapper, exe, "", m.windowClass));
        const std::vector<std::string> lines = mt::ListLines(mapper.window, m.commandLists[0]);
        if (count[0] == '-') {
            EXPECT_EQ(lines.size(), 1u);
        } else {
            ASSERT_EQ(lines.size(), 100u);
            EXPECT_EQ(lines[99], "99:");
            EXPECT_EQ(lines[2], "02:" + longCommand.substr(0, 259));
        }
        EXPECT_TRUE(mapper.Close());
    }
}

TEST_P(MapperProgramTest, UnreadableOrReadOnlySettingsLeaveTheProgramRunning) {
    const Mapper &m = *GetParam();
    const std::string exe = StageMapper(dir.path, m, m.exe);
    const std::string ini = IniOf(exe);
    std::string garbage;
    for (int i = 0; i < 5000; ++i) garbage.push_back(static_cast<char>((i * 7919 + 13) % 251 + 1));
    tt::WriteFileBytes(ini, garbage.substr(0, 4000) + "\r\n[Command\r\nCount=5");
    {
        tt::Program mapper;
        ASSERT_TRUE(tt::Start(mapper, exe, "", m.windowClass));
        EXPECT_EQ(mt::ListLines(mapper.window, m.commandLists[0]).size(), 11u);
        EXPECT_TRUE(mapper.Close());
    }
    // A settings file that can be neither read nor written (a folder of that
    // name; a read-only file is no bar to root here): nothing is stored, so only
    // entry 0 is offered; the program runs and closes as usual.
    DeleteFileA(ini.c_str());
    ASSERT_TRUE(CreateDirectoryA(ini.c_str(), nullptr));
    tt::Program mapper;
    ASSERT_TRUE(tt::Start(mapper, exe, "", m.windowClass));
    EXPECT_EQ(mt::ListLines(mapper.window, m.commandLists[0]), std::vector<std::string>{tt::Ansi("00:(なし)")});
    EXPECT_TRUE(mapper.Close());
}

// A sample of the damaged settings files the in-process runs use, on the
// real program: its window soon (a file read key by key took minutes at
// 10 MB; a busy machine may take a few seconds), and a clean end, however
// long a 10 MB file takes to write.
TEST_P(MapperProgramTest, StartsFromDamagedSettingsFiles) {
    const Mapper &m = *GetParam();
    const std::string exe = StageMapper(dir.path, m, m.exe);
    for (unsigned seed : {1u, 2u, 3u, 13u, 29u, 61u}) {
        SCOPED_TRACE("settings seed " + std::to_string(seed));
        tt::IniCase kind;
        const std::string text = tt::DamagedIni(m.firstRunIni, seed, &kind);
        HANDLE lock = tt::PlaceIni(IniOf(exe), text, kind);
        tt::Program mapper;
        const DWORD start = GetTickCount();
        ASSERT_TRUE(tt::Start(mapper, exe, "", m.windowClass, 10000));
        EXPECT_LT(GetTickCount() - start, 10000u);
        if (lock) CloseHandle(lock);
        EXPECT_TRUE(mapper.Close(60000));
    }
}

INSTANTIATE_TEST_SUITE_P(Mappers, MapperProgramTest, ::testing::Values(&kRuneby, &kPadwig),
                         [](const ::testing::TestParamInfo<const Mapper *> &info) {
                             return std::string(info.param->word);
                         });

TEST(MapperProgram, RenamedInADoubleByteFolderRenamesCaptionAndSettings) {
    tt::TempDir dir;
    // 表 ends in the byte of '\'; the name must still split after it.
    const std::string folder = dir.path + "\\" + tt::Ansi("表");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string exe = StageMapper(folder, kPadwig, "Pads.exe");
    tt::Program mapper;
    ASSERT_TRUE(tt::Start(mapper, exe, "", kPadwig.windowClass));
    EXPECT_EQ(tt::WindowText(mapper.window), "Pads");
    EXPECT_TRUE(mapper.Close());
    EXPECT_EQ(tt::ReadIni(folder + "\\Pads.ini", "Padwig", "Version"), "2.3(32)");
    EXPECT_FALSE(tt::FileExists(folder + "\\Padwig.ini"));
}

TEST(MapperProgram, RunebyWithoutItsHookLibrarySaysSoAndEnds) {
    tt::TempDir dir;
    const std::string exe = StageMapper(dir.path, kRuneby, "Keys.exe");
    struct Case {
        const char *library;  // staged as Clavtrap.dll; null: none
        const char *text;
    } cases[] = {
        {nullptr, "Clavtrap.dll をﾛｰﾄﾞできませんでした。\n終了します。"},
        {"VBMP3.dll", "正しい Clavtrap.dll ではないようです。\n終了します。"},
    };
    for (const Case &c : cases) {
        const std::string library = dir.File("Clavtrap.dll");
        DeleteFileA(library.c_str());
        if (c.library) CopyFileA((tt::BinDir() + "\\" + c.library).c_str(), library.c_str(), FALSE);
        // Started in its own folder: the library is searched for in the
        // current folder too.
        tt::Program mapper;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        std::string line = "\"" + exe + "\"";
        ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, dir.path.c_str(), &startup,
                                   &mapper.info));
        HWND box = tt::WaitForProcessWindow(mapper.info.dwProcessId, "#32770", 10000);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(tt::WindowText(box), "Keys");
        EXPECT_EQ(tt::MessageBoxText(box), tt::Ansi(c.text));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(mapper.WaitExit(10000), 0);
        EXPECT_EQ(tt::ReadIni(dir.File("Keys.ini"), "Runeby", "Icon2Tray"), "0");
    }
}

namespace {

void Chord(WORD modifier, WORD key) {
    INPUT in[4] = {};
    const WORD keys[4] = {modifier, key, key, modifier};
    for (int i = 0; i < 4; ++i) {
        in[i].type = INPUT_KEYBOARD;
        in[i].ki.wVk = keys[i];
        in[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(4, in, sizeof *in);
}

}  // namespace

// Real key presses through Runeby and its hook library to a counting stand-in
// for the player, which ends (by quitting, or killed) and starts again every
// few seconds: every press made while it runs arrives, and Runeby's memory
// grows by no more than its budget per press and restart (object counts stay
// flat). make soak presses 50 000 (TAVOLIN_KEY_PRESSES).
TEST(MapperSoak, KeysReachAPlayerThatComesAndGoes) {
    const char *asked = getenv("TAVOLIN_KEY_PRESSES");
    const int total = asked ? atoi(asked) : 750;
    tt::TempDir dir;
    const std::string exe = StageMapper(dir.path, kRuneby, "Runeby.exe");
    tt::WriteFileBytes(IniOf(exe), "[Runeby]\r\nVersion=2.3(32)\r\n[DDE]\r\nServiceName=Sink\r\nTopicName=Command\r\n"
                                   "[Command]\r\nCount=1\r\n01=[Play()]\r\n[Map]\r\nCount=1\r\n01=008,049,01\r\n");
    tt::Program runeby;
    ASSERT_TRUE(tt::Start(runeby, exe, "", kRuneby.windowClass));
    const std::string log = dir.File("count.log");
    // Presses per run of the stand-in (TAVOLIN_KEY_BURST; more tells the
    // presses' share of memory from the restarts').
    const char *burst = getenv("TAVOLIN_KEY_BURST");
    const int pressesPerRun = burst && atoi(burst) >= 50 ? atoi(burst) / 50 * 50 : 250;
    std::vector<tt::Usage> usage;
    int sent = 0, arrived = 0, whileAway = 0;
    const DWORD start = GetTickCount();
    size_t afterFirstMinute = 0;
    for (int round = 0; sent < total; ++round) {
        tt::Program sink;
        ASSERT_TRUE(mt::StartSink(sink, "Sink", log, "quiet"));
        for (int i = 0; i < pressesPerRun; ++i) {
            Chord(VK_CONTROL, '1');
            if (i % 25 == 24) tt::Pump(5);
            if (i % 50 == 49) usage.push_back(tt::MeasureProcess(runeby.info.hProcess));
        }
        sent += pressesPerRun;
        const int got = mt::SinkCount(log, pressesPerRun);
        arrived += got;
        EXPECT_EQ(got, pressesPerRun) << "round " << round;
        if (round % 2) {
            DdeLink().Execute("Sink", "Command", "[Quit]", 3000);
            EXPECT_EQ(sink.WaitExit(5000), 0);
        } else {
            TerminateProcess(sink.info.hProcess, 1);  // gone without a word
            sink.WaitExit(5000);
        }
        // Presses with no player: dropped, and they hold nothing up.
        for (int i = 0; i < 20; ++i) Chord(VK_CONTROL, '1');
        whileAway += 20;
        tt::Pump(100);
        ASSERT_TRUE(runeby.Running());
        if (!afterFirstMinute && GetTickCount() - start >= 60000) afterFirstMinute = usage.size();
    }
    const tt::Usage &first = usage.front(), &last = usage.back();
    printf("key soak: %d presses while the player was up, %d arrived, %d lost (%d more while it was away); "
           "Runeby's resident bytes %lu -> %lu, %lu s\n",
           sent, arrived, sent - arrived, whileAway, static_cast<unsigned long>(first.workingSet),
           static_cast<unsigned long>(last.workingSet), (GetTickCount() - start) / 1000);
    EXPECT_EQ(arrived, sent);
    // Per press: 2 bytes, and a restart of the player (every 250 presses) 1 KB.
    // A short run judges its second half, more loosely.
    const double budget = 2 + 1024.0 / pressesPerRun;
    if (afterFirstMinute) {
        tt::ExpectSlope("Runeby", usage, afterFirstMinute, 50, budget);
    } else {
        tt::ExpectSlope("Runeby (short run)", usage, usage.size() / 2, 50, 40 * budget);
    }
    EXPECT_TRUE(runeby.Close());
}
