// Playing at another speed with the pitch kept, through the real main window
// in-process: positions stay in the file's own time.
#include <gtest/gtest.h>
#include "test_support.h"
#include "in_process.h"
#include "media/media_session.h"
#include "app/commands.h"
#include "dde/command_language.h"
#include "res/resource.h"
#include <mmsystem.h>
#include "media_fixture.h"

namespace {

// A Wave at 50 % ends in twice its time, its position moves at half the
// rate, and a change of speed or a pause keeps the place. The sound server
// here runs its clock at 0.6 to 1.0 of real time (seen with a bare waveOut
// program): rates are held to the speed's from above, loosely from below.
TEST_F(Media, AWaveAtHalfSpeedTakesTwiceAsLongInItsOwnTime) {
    ASSERT_EQ(MediaSetSpeed(w(), 50), 1);  // nothing open: kept for the next file
    ASSERT_EQ(MediaOpen(w(), shortWave.c_str()), 1);
    EXPECT_EQ(MediaGetSpeed(w()), 50);
    EXPECT_EQ(MediaGetMode(w()), static_cast<int>(MCI_MODE_STOP));
    const DWORD start = GetTickCount();
    ASSERT_EQ(MediaPlay(w()), 1);
    ASSERT_TRUE(tt::WaitUntil([&] { return s()->sessionState == StateOpened; }, 6000));
    const DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 1300u);  // 700 ms at 50 %
    EXPECT_EQ(MediaGetPosition(w()), MediaGetLength(w()));

    ASSERT_EQ(MediaOpen(w(), wave.c_str()), 1);
    const DWORD started = GetTickCount();
    ASSERT_EQ(MediaPlay(w()), 1);
    tt::Pump(1200);
    const int atHalf = MediaGetPosition(w());
    EXPECT_GT(atHalf, 150);
    EXPECT_LT(atHalf, static_cast<int>(GetTickCount() - started) / 2 + 40);
    ASSERT_EQ(MediaSetSpeed(w(), 200), 1);
    EXPECT_NEAR(MediaGetPosition(w()), atHalf, 80);
    const DWORD changed = GetTickCount();
    tt::Pump(900);
    ASSERT_EQ(MediaPause(w()), 1);
    const int paused = MediaGetPosition(w());
    // Up to twice the time gone by (the tenth of a second queued at 50 % first).
    const int gone = static_cast<int>(GetTickCount() - changed);
    EXPECT_GT(paused - atHalf, gone - 250);
    EXPECT_LT(paused - atHalf, 2 * gone + 50);
    tt::Pump(300);
    EXPECT_EQ(MediaGetPosition(w()), paused);
    ASSERT_EQ(MediaPlay(w()), 1);
    EXPECT_NEAR(MediaGetPosition(w()), paused, 40);
    // Back to 100 % while playing: it plays on from where it was.
    ASSERT_EQ(MediaSetSpeed(w(), 100), 1);
    EXPECT_EQ(s()->sessionState, StatePlaying);
}

}  // namespace

namespace {

std::string Caption(HWND window) {
    char text[300] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// The View menu's speeds: checked as the speed stands, greyed where it
// cannot change; the caption names a speed that is not 100 %.
TEST_F(Media, TheSpeedMenuAndCaptionFollowTheSpeedAndTheFile) {
    HMENU speeds = GetSubMenu(GetSubMenu(GetMenu(w()), 2), 4);
    ASSERT_TRUE(speeds);
    auto state = [&](UINT id) {
        UpdateMenuStates(w(), speeds, 0, FALSE);
        return GetMenuState(speeds, id, MF_BYCOMMAND) & (MF_CHECKED | MF_GRAYED);
    };
    const std::string plain = Caption(w());
    pw.Command(IDM_SPEED_75);
    EXPECT_EQ(state(IDM_SPEED_75), static_cast<UINT>(MF_CHECKED));
    EXPECT_EQ(state(IDM_SPEED_100), 0u);
    EXPECT_EQ(Caption(w()), plain + " - 75%");
    pw.Command(IDM_SPEED_FASTER);
    EXPECT_EQ(MediaGetSpeed(w()), 80);
    EXPECT_EQ(state(IDM_SPEED_75), 0u);
    // A file the stretch cannot read plays at 100 %, its speeds greyed.
    const std::string plainFile = dir.File("noextension");
    tt::WriteWave(plainFile, 1000);
    ASSERT_EQ(MediaOpen(w(), plainFile.c_str()), 1);
    pw.Tick();
    EXPECT_EQ(MediaGetSpeed(w()), 100);
    EXPECT_EQ(state(IDM_SPEED_SLOWER), static_cast<UINT>(MF_GRAYED));
    EXPECT_EQ(MediaSetSpeed(w(), 50), 0);
    EXPECT_EQ(Caption(w()), plain);
    // A Wave opened takes the speed kept; a recording greys them all.
    ASSERT_EQ(MediaOpen(w(), wave.c_str()), 1);
    pw.Tick();
    EXPECT_EQ(Caption(w()), plain + " - 80%");
    ASSERT_EQ(MediaOpenForRecord(w(), 22050, 16, 1), 1);
    EXPECT_EQ(state(IDM_SPEED_NORMAL), static_cast<UINT>(MF_GRAYED));
    EXPECT_EQ(state(IDM_SPEED_50), static_cast<UINT>(MF_GRAYED));
}

}  // namespace

namespace {

void Patch(const std::string &path, size_t at, const std::string &bytes) {
    std::string s = tt::ReadFileText(path);
    s.replace(at, bytes.size(), bytes);
    tt::WriteFileBytes(path, s);
}

// Odd and damaged Waves at 50 % open (or are refused) as at 100 %, play,
// seek and close; compressed ones (made by tools/make_mp3s.sh) go through
// ACM and play at the speed.
TEST_F(Media, OddWavesAtHalfSpeedFareAsAtFullSpeed) {
    pw.Command(IDM_SHOWERROR);  // beep only
    const std::string eightBit = dir.File("eight.wav"), claims = dir.File("claims.wav"),
                      badAlign = dir.File("align.wav"), tiny = dir.File("tiny.wav");
    const std::string ima = tt::TestsDir() + "\\mp3\\ima.wav", msAdpcm = tt::TestsDir() + "\\mp3\\msadpcm.wav",
                      muLaw = tt::TestsDir() + "\\mp3\\mulaw.wav";
    tt::WriteWave(eightBit, 1500, 11025, 8, 2);
    tt::WriteWave(claims, 1500);
    Patch(claims, 40, std::string("\x00\x00\x50\x00", 4));  // data claims 5 MB
    tt::WriteWave(badAlign, 1500);
    Patch(badAlign, 32, std::string("\x03\x00", 2));
    tt::WriteWave(tiny, 1);
    for (const std::string &file : {eightBit, claims, badAlign, tiny, ima, msAdpcm, muLaw}) {
        MediaSetSpeed(w(), 100);
        const int atFull = MediaOpen(w(), file.c_str());
        const int lengthAtFull = MediaGetLength(w());
        MediaClose(w());
        MediaSetSpeed(w(), 50);
        ASSERT_EQ(MediaOpen(w(), file.c_str()), atFull) << file;
        if (!atFull) continue;
        // MCI believes a data chunk that claims more than the file holds;
        // the stretch ends where the file does.
        if (file == claims) {
            EXPECT_NEAR(MediaGetLength(w()), 1500, 5);
        } else {
            EXPECT_NEAR(MediaGetLength(w()), lengthAtFull, 20) << file;  // MCI counts whole ADPCM blocks
        }
        ASSERT_EQ(MediaPlay(w()), 1) << file;
        tt::Pump(400);
        EXPECT_EQ(MediaSeekTo(w(), MediaGetLength(w()) / 2), 1) << file;
        tt::Pump(200);
        if (file == ima || file == msAdpcm || file == muLaw) {
            EXPECT_EQ(MediaGetSpeed(w()), 50) << file;
            EXPECT_GT(MediaGetPosition(w()), MediaGetLength(w()) / 2);
        }
        EXPECT_EQ(MediaClose(w()), 1) << file;
    }
}

}  // namespace
