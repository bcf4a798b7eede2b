// MP3 files through the player and our VBMP3.dll, over DDE from another process.
// The files are made by tools/make_mp3s.sh (lame) before this test runs.
#include "player_process.h"
#include "res/resource.h"
#include <mmsystem.h>
#include <algorithm>
#include "mp3_stream.h"

namespace {

constexpr DdeOutcome kDone = DdeOutcome::Done;
constexpr DdeOutcome kRefused = DdeOutcome::NotProcessed;

std::string Mp3(const char *name) {
    return tt::TestsDir() + "\\mp3\\" + name;
}

class Mp3Player : public PlayerProcess {
protected:
    void SetUp() override {
        tt::Stage(dir, "VBMP3.dll", "VBMP3.dll");
        StartPlayer();
    }
};

TEST_F(Mp3Player, OpensPrimedAndSeeksBySamples) {
    ASSERT_EQ(Exec("[Open(" + Mp3("cbr.mp3") + ")]"), kDone);
    const int length = atoi(Get("GetLen").c_str());
    EXPECT_NEAR(length, 5000, 150);
    EXPECT_EQ(Mode(), static_cast<int>(MCI_MODE_PAUSE));
    EXPECT_EQ(Pos(), 0);  // primed, paused, and back at the start
    ASSERT_EQ(Exec("[SeekTo(1000)]"), kDone);
    EXPECT_EQ(Pos(), 1000);
    ASSERT_EQ(Exec("[Play()]"), kDone);
    EXPECT_EQ(Mode(), static_cast<int>(MCI_MODE_PLAY));
    Sleep(1200);
    const int playing = Pos();
    EXPECT_GT(playing, 1500);
    EXPECT_LT(playing, 3000);
    ASSERT_EQ(Exec("[Pause()]"), kDone);
    EXPECT_EQ(Mode(), static_cast<int>(MCI_MODE_PAUSE));
    const int paused = Pos();
    Sleep(400);
    EXPECT_EQ(Pos(), paused);
    // A seek while playing goes on playing from the new sample.
    ASSERT_EQ(Exec("[Play()]"), kDone);
    ASSERT_EQ(Exec("[SeekTo(3000)]"), kDone);
    EXPECT_GE(Pos(), 3000);
    EXPECT_EQ(Mode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_EQ(Exec("[Top()]"), kDone);
    EXPECT_LT(Pos(), 500);
    // Top while playing goes on playing, and a pause then holds.
    EXPECT_EQ(Mode(), static_cast<int>(MCI_MODE_PLAY));
    ASSERT_EQ(Exec("[Pause()]"), kDone);
    EXPECT_EQ(Mode(), static_cast<int>(MCI_MODE_PAUSE));
    const int held = Pos();
    Sleep(400);
    EXPECT_EQ(Pos(), held);
}

TEST_F(Mp3Player, PlayedToTheEndStandsPausedAtTheLastSample) {
    ASSERT_EQ(Exec("[Open(" + Mp3("mono22.mp3") + ")]"), kDone);
    const int length = atoi(Get("GetLen").c_str());
    EXPECT_NEAR(length, 2000, 150);
    // Repeat-all on: it does not restart an MP3 (it stands paused, not opened).
    PostMessageA(player.window, WM_COMMAND, IDM_REPEATALL, 0);
    ASSERT_EQ(Exec("[SeekTo(1200)]"), kDone);
    ASSERT_EQ(Exec("[Play()]"), kDone);
    EXPECT_TRUE(tt::WaitUntil([&] { return Mode() == static_cast<int>(MCI_MODE_PAUSE); }, 5000, 100));
    EXPECT_NEAR(Pos(), length, 2);
    Sleep(600);
    EXPECT_EQ(Mode(), static_cast<int>(MCI_MODE_PAUSE));
    EXPECT_NEAR(Pos(), length, 2);
    ASSERT_TRUE(player.Close());
    EXPECT_EQ(tt::ReadIni(ini, "Tavolin", "RepeatAll"), "1");
}

TEST_F(Mp3Player, VbrTaggedAndFreeFormatFilesOpen) {
    ASSERT_EQ(Exec("[Open(" + Mp3("vbr.mp3") + ")]"), kDone);
    EXPECT_NEAR(atoi(Get("GetLen").c_str()), 5000, 150);
    ASSERT_EQ(Exec("[Open(" + Mp3("id3.mp3") + ")]"), kDone);
    EXPECT_NEAR(atoi(Get("GetLen").c_str()), 5000, 150);
    ASSERT_EQ(Exec("[Open(" + Mp3("free.mp3") + ")]"), kDone);
    EXPECT_NEAR(atoi(Get("GetLen").c_str()), 5000, 150);
    ASSERT_EQ(Exec("[Open(" + Mp3("truncated.mp3") + ")]"), kDone);
    EXPECT_GT(atoi(Get("GetLen").c_str()), 1000);
    ASSERT_EQ(Exec("[Play()]"), kDone);
}

TEST_F(Mp3Player, AFileOfAFewFramesOpensEveryTimeAndStandsAtItsEnd) {
    for (int round = 0; round < 10; ++round) {
        const DWORD start = GetTickCount();
        ASSERT_EQ(Exec("[Open(" + Mp3("one.mp3") + ")]"), kDone) << round;
        EXPECT_LT(GetTickCount() - start, 1500u) << round;  // not given up after the decoder wait
        const int length = atoi(Get("GetLen").c_str());
        ASSERT_GT(length, 0) << round;
        EXPECT_EQ(Pos(), 0) << round;
        ASSERT_EQ(Exec("[Play()]"), kDone) << round;
        EXPECT_TRUE(tt::WaitUntil([&] { return Mode() == static_cast<int>(MCI_MODE_PAUSE); }, 3000, 50)) << round;
        tt::Pump(300);
        EXPECT_EQ(atoi(Get("GetLen").c_str()), length) << round;  // still open
        EXPECT_EQ(Mode(), static_cast<int>(MCI_MODE_PAUSE)) << round;
    }
}

TEST_F(Mp3Player, AHugeFileIsRefusedWithoutEndingThePlayer) {
    // 1 GiB (sparse): more than a 32-bit process can hold in one piece.
    const std::string huge = dir.File("huge.mp3");
    HANDLE file = CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = 1LL << 30;
    SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    EXPECT_EQ(Exec("[Open(" + huge + ")]"), kRefused);
    ASSERT_TRUE(player.Running());
    EXPECT_EQ(Get("GetLen"), "0");
    ASSERT_EQ(Exec("[Open(" + Mp3("cbr.mp3") + ")]"), kDone);
    DeleteFileA(huge.c_str());
}

TEST_F(Mp3Player, BadFilesAreRefusedAndThePlayerGoesOn) {
    for (const char *bad : {"garbage.mp3", "empty.mp3", "badtag.mp3", "missing.mp3"}) {
        EXPECT_EQ(Exec("[Open(" + Mp3(bad) + ")]"), kRefused) << bad;
        EXPECT_EQ(Get("GetLen"), "0") << bad;
    }
    ASSERT_EQ(Exec("[Open(" + Mp3("cbr.mp3") + ")]"), kDone);
    EXPECT_TRUE(player.Running());
}

TEST_F(Mp3Player, VersionBoxShowsTheLibraryAndItsNotice) {
    PostMessageA(player.window, WM_COMMAND, IDM_VERSION, 0);
    HWND box = tt::WaitForProcessWindow(player.info.dwProcessId, "#32770", 5000);
    ASSERT_TRUE(box);
    const std::string text = tt::MessageBoxText(box);
    EXPECT_NE(text.find("Tavolin Version 2.3(32)"), std::string::npos) << text;
    EXPECT_NE(text.find("VBMP3.dll Version 1.00"), std::string::npos) << text;
    // The first translation has no notice; the second's is shown.
    EXPECT_NE(text.find("Copyright (C) 2026 The VBMP3 decoder library developers"), std::string::npos) << text;
    tt::PressButton(box, IDOK);
}

TEST(Mp3Missing, WithoutTheLibraryMp3FailsAndTheBoxHasNoDecoderLine) {
    tt::TempDir dir;
    const std::string exe = tt::Stage(dir, "Tavolin.exe", "Tavolin.exe");
    tt::WriteIni(dir.File("Tavolin.ini"), "Tavolin", "ShowError", "0");
    tt::Program player;
    ASSERT_TRUE(tt::Start(player, exe, ""));
    DdeLink link;
    EXPECT_EQ(link.Execute("Tavolin", "Command", "[Open(" + Mp3("cbr.mp3") + ")]", 10000), kRefused);
    PostMessageA(player.window, WM_COMMAND, IDM_VERSION, 0);
    HWND box = tt::WaitForProcessWindow(player.info.dwProcessId, "#32770", 5000);
    ASSERT_TRUE(box);
    EXPECT_EQ(tt::MessageBoxText(box).find("VBMP3"), std::string::npos);
    tt::PressButton(box, IDOK);
}

}  // namespace

namespace {

// The speed words over DDE, an MP3 at 50 % through the stretch, and the
// speed kept in the settings file (read back clamped, or 100 % when damaged).
TEST_F(Mp3Player, AtHalfSpeedAnMp3PlaysInTwiceItsTimeAndTheSpeedIsKept) {
    EXPECT_EQ(Get("GetSpeed"), "100");  // a file without the key
    const std::pair<const char *, const char *> words[] = {
        {"[Speed(10)]", "25"}, {"[Speed(1000)]", "300"}, {"[Speed()]", "100"}, {"[Speed(x)]", "100"},
        {"[Speed(-5)]", "100"}, {"[SpeedRel(-10)]", "90"}, {"[SpeedRel(500)]", "300"}, {"[Speed(50)]", "50"}};
    for (const auto &[command, speed] : words) {
        EXPECT_EQ(Exec(command), kDone) << command;
        EXPECT_EQ(Get("GetSpeed"), speed) << command;
    }
    ASSERT_EQ(Exec("[Open(" + Mp3("tone48.mp3") + ")]"), kDone);
    const int length = atoi(Get("GetLen").c_str());
    EXPECT_NEAR(length, 1000, 50);
    const DWORD start = GetTickCount();
    ASSERT_EQ(Exec("[Play()]"), kDone);
    ASSERT_TRUE(tt::WaitUntil([&] { return Mode() == static_cast<int>(MCI_MODE_STOP); }, 8000, 50));
    EXPECT_GE(GetTickCount() - start, static_cast<DWORD>(2 * length - 100));
    EXPECT_EQ(Pos(), length);
    // A recording's speed does not change.
    ASSERT_EQ(Exec("[OpenForRecord(22050,16,1)]"), kDone);
    EXPECT_EQ(Exec("[Speed(75)]"), kRefused);
    EXPECT_EQ(Exec("[SpeedRel(5)]"), kRefused);
    ASSERT_EQ(Exec("[Close()]"), kDone);
    EXPECT_EQ(Get("GetSpeed"), "50");
    ASSERT_TRUE(player.Close());
    EXPECT_EQ(tt::ReadIni(ini, "Tavolin", "Speed"), "50");
    for (const auto &[stored, read] : {std::pair<const char *, const char *>{"5000", "300"}, {"x", "100"}}) {
        tt::WriteIni(ini, "Tavolin", "Speed", stored);
        ASSERT_TRUE(tt::Start(player, exe, ""));
        EXPECT_EQ(Get("GetSpeed"), read) << stored;
        ASSERT_TRUE(player.Close());
    }
}

// At 200 % every kind of MP3 plays through the stretch (the speed holds), seeks
// and ends where its length says; the bad ones are refused as at 100 %.
TEST_F(Mp3Player, OddAndBadFilesAtDoubleSpeedFareAsAtFullSpeed) {
    ASSERT_EQ(Exec("[Speed(200)]"), kDone);
    for (const char *bad : {"garbage.mp3", "empty.mp3", "badtag.mp3"})
        EXPECT_EQ(Exec("[Open(" + Mp3(bad) + ")]"), kRefused) << bad;
    for (const char *file : {"vbr.mp3", "free.mp3", "id3.mp3", "mono22.mp3", "one.mp3"}) {
        ASSERT_EQ(Exec("[Open(" + Mp3(file) + ")]"), kDone) << file;
        EXPECT_EQ(Get("GetSpeed"), "200") << file;
        const int length = atoi(Get("GetLen").c_str());
        ASSERT_EQ(Exec("[Play()]"), kDone) << file;
        if (length > 300) {
            ASSERT_EQ(Exec("[SeekTo(" + std::to_string(length - 300) + ")]"), kDone) << file;
        }
        EXPECT_TRUE(tt::WaitUntil([&] { return Mode() == static_cast<int>(MCI_MODE_STOP); }, 3000, 20)) << file;
        EXPECT_EQ(Pos(), length) << file;
    }
    EXPECT_TRUE(player.Running());
}

}  // namespace

// In process: the stream that feeds playing at another speed. A seek into
// the middle of the file decodes what decoding from the start gives there.
TEST(Mp3Stream, ASeekDecodesWhatPlayingThroughGivesThere) {
    Mp3Stream stream;
    ASSERT_EQ(Mp3StreamOpen(&stream, Mp3("cbr.mp3").c_str()), 0);
    const size_t align = static_cast<size_t>(Mp3StreamBlockAlign(&stream));
    const size_t total = static_cast<size_t>(Mp3StreamSamples(&stream)) * align;
    std::vector<char> whole;
    ASSERT_TRUE(Mp3StreamSeek(&stream, 0));
    ASSERT_TRUE(Mp3StreamDecode(&stream, whole, total));
    ASSERT_EQ(whole.size(), total);
    for (long long sample : {1000LL, 1152LL * 37 + 77, 1152LL * 150 + 5}) {
        std::vector<char> part;
        ASSERT_TRUE(Mp3StreamSeek(&stream, sample));
        ASSERT_TRUE(Mp3StreamDecode(&stream, part, 4096 * align));
        ASSERT_GE(part.size(), 4096 * align);
        const int16_t *a = reinterpret_cast<const int16_t *>(whole.data() + sample * align);
        const int16_t *b = reinterpret_cast<const int16_t *>(part.data());
        int worst = 0;
        for (size_t i = 0; i < 4096 * align / 2; ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
        EXPECT_LE(worst, 16) << "at sample " << sample;  // the few frames before it decode a little apart
    }
    Mp3StreamClose(&stream);
}
