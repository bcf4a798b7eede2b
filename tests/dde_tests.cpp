// The command language and request items through real DDE, from another process.
#include "player_process.h"
#include "res/resource.h"
#include <mmsystem.h>

namespace {

constexpr DdeOutcome kDone = DdeOutcome::Done;
constexpr DdeOutcome kRefused = DdeOutcome::NotProcessed;

class Dde : public PlayerProcess {
protected:
    void SetUp() override {
        wave = dir.File("ten.wav");
        tt::WriteWave(wave, 10000);
        StartPlayer();
    }
    std::string wave;
};

// Keys typed into the player's window reach its commands through the
// accelerators of its message loop.
TEST_F(Dde, AcceleratorsDriveThePlayer) {
    ASSERT_EQ(Exec("[Open(" + wave + ")]"), kDone);
    SetForegroundWindow(player.window);
    ASSERT_TRUE(tt::WaitUntil([&] { return GetForegroundWindow() == player.window; }, 3000));
    auto chord = [](WORD key) {
        INPUT in[4] = {};
        const WORD keys[4] = {VK_CONTROL, key, key, VK_CONTROL};
        for (int i = 0; i < 4; ++i) {
            in[i].type = INPUT_KEYBOARD;
            in[i].ki.wVk = keys[i];
            in[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
        }
        SendInput(4, in, sizeof *in);
    };
    chord('Y');
    EXPECT_TRUE(tt::WaitUntil([&] { return Mode() == static_cast<int>(MCI_MODE_PLAY); }, 3000, 100));
    chord('P');
    EXPECT_TRUE(tt::WaitUntil([&] { return Mode() != static_cast<int>(MCI_MODE_PLAY); }, 3000, 100));
    chord('L');
    EXPECT_TRUE(tt::WaitUntil([&] { return Pos() >= 9900; }, 3000, 100));
}

// Valid commands with random arguments, each checked against a model of the
// session (a stopped 10 s file at 8 kHz, where milliseconds are exact).
TEST_F(Dde, RandomValidCommandsHaveTheirEffect) {
    const std::string exact = dir.File("exact.wav");
    tt::WriteWave(exact, 10000, 8000, 8, 1);
    ASSERT_EQ(Exec("[Open(" + exact + ")]"), kDone);
    const int length = 10000;
    int position = 0, zero = 0;
    unsigned seed = 12345;
    auto next = [&](int range) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 8) % static_cast<unsigned>(range));
    };
    auto clamp = [&](int p) { return p < 0 ? 0 : p >= length ? length - 1 : p; };
    for (int i = 0; i < 250; ++i) {
        const int value = next(30001) - 15000;
        std::string command;
        switch (next(4)) {
        case 0: command = "[SeekTo(" + std::to_string(value) + ")]"; position = clamp(value + zero); break;
        case 1: command = "[SeekRel(" + std::to_string(value) + ")]"; position = clamp(position + value); break;
        case 2: command = "[Zero()]"; zero = position; break;
        default: command = "[Top()]"; position = 0; break;
        }
        ASSERT_EQ(Exec(command), kDone) << command;
        ASSERT_EQ(Pos(), position - zero) << "after " << command << " (step " << i << ")";
    }
    EXPECT_EQ(Get("GetLen"), "10000");
    EXPECT_NE(Mode(), static_cast<int>(MCI_MODE_PLAY));
}

TEST_F(Dde, ServiceInAnyCaseTopicExactly) {
    // (A topic in other letter case cannot be tried here: DDE string handles
    // are atoms, which ignore case and keep the spelling first made, so the
    // server reads back whichever spelling is alive.)
    EXPECT_TRUE(link.Connects("Tavolin", "Command"));
    EXPECT_TRUE(link.Connects("TAVOLIN", "Command"));
    EXPECT_TRUE(link.Connects("tavolin", "Command"));
    EXPECT_FALSE(link.Connects("Other", "Command"));
}

TEST_F(Dde, MalformedStringsAreNotProcessed) {
    for (const char *bad : {"[play()]", "Play()", "[Play]", "[Play() ]", "[ Play()]", "", "[", "]", "[]", "[()]",
                            "[Play(]", "[Play)(]", "[Zero(]"})
        EXPECT_EQ(Exec(bad), kRefused) << bad;
    EXPECT_EQ(Exec("[Zero()]"), kDone);
    EXPECT_EQ(Exec("[Close()]"), kDone);
    EXPECT_EQ(Exec("[Play()]"), kRefused);  // nothing open
    EXPECT_EQ(Exec("[Pause()]"), kDone);
    EXPECT_EQ(Exec("[Repeat(100)]"), kRefused);
    EXPECT_EQ(Get("GetPos"), "0");
    EXPECT_EQ(Get("GetPos2"), "00:00:00");
    EXPECT_EQ(Get("GetLen3"), "00:00:00.00");
    EXPECT_EQ(Get("Unknown"), "<none>");
    // Capabilities of the waveaudio device with nothing open.
    EXPECT_EQ(atoi(Get("GetDevCaps").c_str()) & 3, 3);
    // Mode with nothing open: the failed query yields 0.
    EXPECT_EQ(Get("GetMode"), "0");
}

TEST_F(Dde, OpenSeekZeroAndPositions) {
    ASSERT_EQ(Exec("[Open(" + wave + ")]"), kDone);
    EXPECT_EQ(Get("GetLen"), "10000");
    EXPECT_EQ(Get("GetLen2"), "00:00:10");
    EXPECT_EQ(Get("GetDevCaps"), "0");
    EXPECT_EQ(Mode(), static_cast<int>(MCI_MODE_STOP));
    EXPECT_EQ(Exec("[SeekTo(999999999)]"), kDone);
    EXPECT_EQ(Get("GetPos"), "9999");
    EXPECT_EQ(Exec("[SeekTo(5000)]"), kDone);
    EXPECT_EQ(Exec("[Zero()]"), kDone);
    EXPECT_EQ(Exec("[SeekRel(-1500)]"), kDone);
    EXPECT_EQ(Get("GetPos"), "-1500");
    EXPECT_EQ(Get("GetPos2"), "-00:00:01");
    EXPECT_EQ(Get("GetPos3"), "-00:00:01.50");
    EXPECT_EQ(Exec("[SeekTo(0)]"), kDone);
    EXPECT_EQ(Get("GetPos"), "0");
    EXPECT_EQ(Exec("[SeekTo(1 000)]"), kDone);  // blanks inside numbers are skipped
    EXPECT_EQ(Get("GetPos"), "1000");
    EXPECT_EQ(Exec("[SeekTo(--5)]"), kDone);    // reads as 0
    EXPECT_EQ(Get("GetPos"), "0");
    // The display shows the same, relative to the zero mark.
    EXPECT_EQ(tt::ControlText(player.window, IDC_FILENAME).empty(), false);
    EXPECT_TRUE(tt::WaitUntil([&] { return tt::ControlText(player.window, IDC_POSITION) == " 00:00:00.00"; }, 2000));
    // The file went to the recent list (the File menu) and the last folder.
    EXPECT_TRUE(player.Close());
    EXPECT_EQ(tt::ReadIni(ini, "RecentFileList", "MRU1"), wave);
    EXPECT_EQ(tt::ReadIni(ini, "LastFile", "Name"), wave);
    EXPECT_EQ(tt::ReadIni(ini, "LastFile", "Offset"), "5000");
}

TEST_F(Dde, PlayWithOffsetAndPlayPause) {
    ASSERT_EQ(Exec("[Open(" + wave + ")]"), kDone);
    ASSERT_EQ(Exec("[Play(+3000)]"), kDone);
    EXPECT_EQ(Mode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_GE(Pos(), 3000);
    EXPECT_EQ(Exec("[Play(-5000)]"), kRefused);  // moves back, but play refuses StatePlaying
    EXPECT_LT(Pos(), 2000);
    EXPECT_EQ(Exec("[PlayPause()]"), kDone);
    EXPECT_EQ(Mode(), static_cast<int>(MCI_MODE_PAUSE));
    const int paused = Pos();
    EXPECT_EQ(Exec("[PlayPause(2000)]"), kDone);
    EXPECT_EQ(Mode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_GE(Pos(), paused + 2000);
    EXPECT_EQ(Exec("[Pause()]"), kDone);
    EXPECT_EQ(Exec("[Play(abc)]"), kDone);  // moves by 0 and plays
    EXPECT_EQ(Exec("[Top()]"), kDone);
    EXPECT_LT(Pos(), 700);
    EXPECT_EQ(Exec("[Last()]"), kDone);
    EXPECT_EQ(Exec("[Pause()]"), kDone);
    EXPECT_EQ(Exec("[Top()]"), kDone);
    // One command per string: Play with the argument ")][Pause(", which reads as 0.
    EXPECT_EQ(Exec("[Play()][Pause()]"), kDone);
    EXPECT_EQ(Mode(), static_cast<int>(MCI_MODE_PLAY));
}

// Another program's brief hold of the clipboard: 20 ms from the event.
DWORD WINAPI HoldClipboard(LPVOID opened) {
    if (!OpenClipboard(nullptr)) return 1;
    SetEvent(opened);
    Sleep(20);
    CloseClipboard();
    return 0;
}

TEST_F(Dde, GetCommandsPutTextOnTheClipboard) {
    const std::string wave83 = dir.File("t83.wav");
    tt::WriteWave(wave83, 83456, 8000, 8, 1);
    ASSERT_EQ(Exec("[Open(" + wave83 + ")]"), kDone);
    ASSERT_EQ(Exec("[GetLen3()]"), kDone);
    EXPECT_EQ(tt::ClipboardText(), "00:01:23.45");
    EXPECT_EQ(Get("GetLen3"), "00:01:23.45");
    ASSERT_EQ(Exec("[GetLen()]"), kDone);
    EXPECT_EQ(tt::ClipboardText(), "83456");
    ASSERT_EQ(Exec("[GetPos2()]"), kDone);
    EXPECT_EQ(tt::ClipboardText(), "00:00:00");
    // Another program has the clipboard open for a moment when the Get comes.
    HANDLE opened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE holder = CreateThread(nullptr, 0, HoldClipboard, opened, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(opened, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(Exec("[GetLen()]"), kDone);
    WaitForSingleObject(holder, INFINITE);
    CloseHandle(holder);
    CloseHandle(opened);
    EXPECT_EQ(tt::ClipboardText(), "83456");
}

TEST_F(Dde, RepeatLoopsARangeUntilCleared) {
    const std::string twelve = dir.File("twelve.wav");
    tt::WriteWave(twelve, 12000, 8000, 8, 1);
    ASSERT_EQ(Exec("[Open(" + twelve + ")]"), kDone);
    ASSERT_EQ(Exec("[SeekTo(10000)]"), kDone);
    ASSERT_EQ(Exec("[Repeat(-3000)]"), kDone);
    EXPECT_EQ(Mode(), static_cast<int>(MCI_MODE_PLAY));
    // Played on past the range's end, it comes back to 7000 and loops.
    int lowest = 100000, highest = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 4500;) {
        const int p = Pos();
        lowest = p < lowest ? p : lowest;
        highest = p > highest ? p : highest;
        Sleep(100);
    }
    EXPECT_GE(lowest, 6900);
    EXPECT_LT(highest, 10800);
    EXPECT_EQ(Exec("[Repeat(0)]"), kDone);
    EXPECT_TRUE(tt::WaitUntil([&] { return Pos() > 10800; }, 8000, 100));
}

TEST_F(Dde, RecordingCommands) {
    EXPECT_EQ(Exec("[Record()]"), kRefused);
    EXPECT_EQ(Exec("[OpenForRecord(22050,16)]"), kRefused);
    ASSERT_EQ(Exec("[OpenForRecord(22050,16,2)]"), kDone);
    EXPECT_EQ(tt::ControlText(player.window, IDC_FILENAME), tt::Ansi("新規"));
    ASSERT_EQ(Exec("[Record()]"), kDone);
    Sleep(500);
    const std::string saved = dir.File("rec.wav");
    EXPECT_EQ(Exec("[SaveAs(" + saved + ")]"), kRefused);
    ASSERT_EQ(Exec("[StopRecord()]"), kDone);
    ASSERT_EQ(Exec("[SaveAs(" + saved + ")]"), kDone);
    const tt::WaveHeader h = tt::ReadWaveHeader(saved);
    EXPECT_TRUE(h.valid);
    EXPECT_EQ(h.samplesPerSec, 22050u);
    EXPECT_EQ(h.channels, 2);
    EXPECT_EQ(h.bitsPerSample, 16);
    EXPECT_TRUE(player.Close());
    EXPECT_EQ(tt::ReadIni(ini, "RecentFileList", "MRU1"), saved);
    EXPECT_EQ(tt::ReadIni(ini, "LastFile", "Name"), "");
}

TEST_F(Dde, UnsafeInputIsRefusedAndChangesNothing) {
    ASSERT_EQ(Exec("[Open(" + wave + ")]"), kDone);
    ASSERT_EQ(Exec("[SeekTo(4000)]"), kDone);
    const std::string longPath = dir.path + "\\" + std::string(300, 'p') + ".wav";
    EXPECT_EQ(Exec("[Open(" + longPath + ")]"), kRefused);
    EXPECT_EQ(Exec("[SaveAs(" + longPath + ")]"), kRefused);
    // 519 characters and the NUL fit; 520 do not.
    const std::string fits = "[SeekRel(" + std::string(519 - 11, '0') + ")]";
    ASSERT_EQ(fits.size(), 519u);
    EXPECT_EQ(Exec(fits), kDone);
    EXPECT_EQ(Exec(fits.substr(0, 9) + "0" + fits.substr(9)), kRefused);
    // Data without a NUL, or in another format, read as bytes only.
    const std::string raw = "[Zero()]";
    EXPECT_EQ(link.Execute(service, "Command", raw.data(), static_cast<DWORD>(raw.size()), CF_TEXT, 5000), kRefused);
    const std::string withNul = raw + std::string(1, '\0') + "junk";
    EXPECT_EQ(link.Execute(service, "Command", withNul.data(), static_cast<DWORD>(withNul.size()), CF_OEMTEXT, 5000), kDone);
    // Longer than the buffer, with a NUL inside it: its first 520 bytes run.
    const std::string longWithNul = withNul + std::string(600, 'j');
    EXPECT_EQ(link.Execute(service, "Command", longWithNul.data(), static_cast<DWORD>(longWithNul.size()), CF_TEXT,
                           5000), kDone);
    const std::string huge(5000, '[');
    EXPECT_EQ(link.Execute(service, "Command", huge.data(), static_cast<DWORD>(huge.size()), CF_TEXT, 5000), kRefused);
    EXPECT_EQ(Get("GetLen"), "10000");
    EXPECT_EQ(Get("GetPos"), "0");  // the zero mark was set at 4000
    EXPECT_EQ(tt::ControlText(player.window, IDC_FILENAME).find('p' + std::string(20, 'p')), std::string::npos);
}

TEST_F(Dde, CtlToolExitCodes) {
    const std::string ctl = tt::BinDir() + "\\TavolinCtl.exe";
    auto run = [&](const std::string &args) {
        tt::Program p;
        if (!tt::StartProcess(p, "\"" + ctl + "\" " + args)) return -1L;
        return p.WaitExit(30000);
    };
    EXPECT_EQ(run("exec \"[Zero()]\""), 0);
    EXPECT_EQ(run("exec \"[Play()]\""), 1);
    EXPECT_EQ(run("--service TAVOLIN get GetPos"), 0);
    EXPECT_EQ(run("get Nothing"), 1);
    EXPECT_EQ(run("--service Nobody --timeout 500 exec \"[Zero()]\""), 2);
    EXPECT_EQ(run("--topic Other exec \"[Zero()]\""), 2);
    EXPECT_EQ(run("frobnicate"), 3);
    // In turn, the first not done stopping the rest.
    EXPECT_EQ(run("get GetPos exec \"[Zero()]\""), 0);
    EXPECT_EQ(run("exec \"[Zero()]\" get Nothing exec \"[Zero()]\""), 1);
    EXPECT_EQ(run("get GetPos exec"), 3);
}

TEST(DdeRenamed, ServiceFollowsTheExecutableName) {
    tt::TempDir dir;
    const std::string exe = tt::Stage(dir, "Tavolin.exe", "Zither.exe");
    tt::Program player;
    ASSERT_TRUE(tt::Start(player, exe, ""));
    DdeLink link;
    EXPECT_TRUE(link.Connects("ZITHER", "Command"));
    EXPECT_TRUE(link.Connects("zither", "Command"));
    EXPECT_FALSE(link.Connects("Tavolin", "Command"));
}

}  // namespace

namespace {

class DdeBoxes : public PlayerProcess {};

// A failed command's box comes after the answer: the client hears "not
// processed" at once (not its time-out), and the player answers again once
// the box has gone.
TEST_F(DdeBoxes, AFailedCommandIsAnsweredBeforeItsBoxComes) {
    StartPlayer("Tavolin.exe", true);
    const std::string missing = "[Open(" + dir.File("missing.wav") + ")]";
    EXPECT_EQ(link.Execute(service, "Command", missing, 3000), kRefused);
    HWND box = tt::WaitForProcessWindow(player.info.dwProcessId, "#32770", 5000);
    ASSERT_TRUE(box);
    EXPECT_EQ(tt::WindowText(box), "Tavolin");
    // The box names the file on a line of its own, after the system's text.
    const std::string text = tt::MessageBoxText(box);
    EXPECT_NE(text.find("\n" + dir.File("missing.wav")), std::string::npos) << text;
    EXPECT_GT(text.find(dir.File("missing.wav")), 2u) << text;
    tt::PressButton(box, IDOK);
    EXPECT_EQ(Exec("[Zero()]"), kDone);
}

}  // namespace
