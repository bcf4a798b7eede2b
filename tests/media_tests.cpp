// The media session through real MCI waveaudio, played into the null sink in
// real time, with the real main window in-process.
//
// Wine's MCI: positions move in steps of about a third of a second; a new
// recording cannot be played or sought until it is saved (its length reads
// 0); wave format settings are accepted only before the first record.
#include <gtest/gtest.h>
#include "test_support.h"
#include "in_process.h"
#include "media/media_session.h"
#include "media/mci_backend.h"
#include "app/commands.h"
#include "res/resource.h"
#include <mmsystem.h>
#include "media_fixture.h"

namespace {

TEST(MediaScale, ScrollScaleKeepsBarWithin32767) {
    EXPECT_EQ(ScrollScaleFor(0), 1);
    EXPECT_EQ(ScrollScaleFor(32767), 1);
    EXPECT_EQ(ScrollScaleFor(32768), 2);
    EXPECT_EQ(ScrollScaleFor(65534), 3);
    EXPECT_EQ(ScrollScaleFor(7200000), 220);
    EXPECT_EQ((7200000 - 1) / ScrollScaleFor(7200000), 32727);
    EXPECT_LE((0x7FFFFFFF - 1) / ScrollScaleFor(0x7FFFFFFF), 32767);
}

TEST_F(Media, OpenShowsLengthNameAndOpenedState) {
    ASSERT_EQ(MediaOpen(w(), wave.c_str()), 1);
    EXPECT_EQ(s()->sessionState, StateOpened);
    EXPECT_NE(s()->mciDeviceId, 0u);
    EXPECT_NEAR(MediaGetLength(w()), 3000, 5);
    EXPECT_EQ(pw.Text(IDC_LENGTH), " 00:00:03.00");
    EXPECT_EQ(pw.Text(IDC_POSITION), " 00:00:00.00");
    EXPECT_EQ(std::string(s()->currentFile), wave);
    EXPECT_EQ(MediaGetPosition(w()), 0);
    int low = -1, high = -1;
    GetScrollRange(GetDlgItem(w(), IDC_POSITION_BAR), SB_CTL, &low, &high);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, (MediaGetLength(w()) - 1) / s()->scrollScale);
    // Closing clears everything.
    EXPECT_EQ(MediaClose(w()), 1);
    EXPECT_EQ(s()->sessionState, StateClosed);
    EXPECT_EQ(s()->mciDeviceId, 0u);
    EXPECT_EQ(pw.Text(IDC_LENGTH), " 00:00:00.00");
    EXPECT_EQ(std::string(s()->currentFile), "");
}

TEST_F(Media, PlayPauseResumesAtTheSamePlace) {
    ASSERT_EQ(MediaOpen(w(), wave.c_str()), 1);
    ASSERT_EQ(MediaPlay(w()), 1);
    EXPECT_EQ(s()->sessionState, StatePlaying);
    EXPECT_EQ(MediaGetMode(w()), static_cast<int>(MCI_MODE_PLAY));
    tt::Pump(900);
    ASSERT_EQ(MediaPause(w()), 1);
    EXPECT_EQ(s()->sessionState, StatePaused);
    const int paused = MediaGetPosition(w());
    EXPECT_GT(paused, 300);
    tt::Pump(400);
    EXPECT_EQ(MediaGetPosition(w()), paused);
    ASSERT_EQ(MediaPlay(w()), 1);
    EXPECT_GE(MediaGetPosition(w()), paused);
    // Play while playing is refused and clears the repeat range.
    s()->repeatStart = 10;
    s()->repeatEnd = 20;
    EXPECT_EQ(MediaPlay(w()), 0);
    EXPECT_EQ(s()->repeatStart, 0);
    EXPECT_EQ(s()->repeatEnd, 0);
    // Pause when not playing is accepted and changes nothing.
    MediaPause(w());
    EXPECT_EQ(MediaPause(w()), 1);
    EXPECT_EQ(s()->sessionState, StatePaused);
}

TEST_F(Media, TopWhilePlayingKeepsPlayingFromTheStart) {
    ASSERT_EQ(MediaOpen(w(), wave.c_str()), 1);
    ASSERT_EQ(MediaPlay(w()), 1);
    tt::Pump(1200);
    ASSERT_EQ(MediaTop(w()), 1);
    EXPECT_EQ(s()->sessionState, StatePlaying);
    EXPECT_LT(MediaGetPosition(w()), 700);
    ASSERT_EQ(MediaLast(w()), 1);
    ASSERT_EQ(MediaPause(w()), 1);
    EXPECT_EQ(MediaTop(w()), 1);
    EXPECT_EQ(s()->sessionState, StatePaused);
    EXPECT_EQ(MediaGetPosition(w()), 0);
}

TEST_F(Media, PlaysToTheEndThenRepeatAllRestarts) {
    ASSERT_EQ(MediaOpen(w(), shortWave.c_str()), 1);
    ASSERT_EQ(MediaPlay(w()), 1);
    ASSERT_TRUE(tt::WaitUntil([&] { return s()->sessionState == StateOpened; }, 5000));
    s()->repeatAll = 1;
    // The next tick (200 ms) starts it again from the top.
    ASSERT_TRUE(tt::WaitUntil([&] { return s()->sessionState == StatePlaying; }, 1000));
    s()->repeatAll = 0;
    ASSERT_TRUE(tt::WaitUntil([&] { return s()->sessionState == StateOpened; }, 5000));
    tt::Pump(500);
    EXPECT_EQ(s()->sessionState, StateOpened);
}

TEST_F(Media, SeekClampsAndKeepsState) {
    ASSERT_EQ(MediaOpen(w(), wave.c_str()), 1);
    const int length = MediaGetLength(w());
    EXPECT_EQ(MediaSeekTo(w(), -1), 1);
    EXPECT_EQ(MediaGetPosition(w()), 0);
    EXPECT_EQ(MediaSeekTo(w(), length), 1);
    EXPECT_EQ(MediaGetPosition(w()), length - 1);
    EXPECT_EQ(s()->sessionState, StateOpened);
    EXPECT_EQ(MediaSeekRel(w(), -1000), 1);
    EXPECT_EQ(MediaGetPosition(w()), length - 1001);
    // While playing a seek goes on playing from there.
    MediaTop(w());
    ASSERT_EQ(MediaPlay(w()), 1);
    EXPECT_EQ(MediaSeekTo(w(), 2000), 1);
    EXPECT_EQ(s()->sessionState, StatePlaying);
    tt::Pump(300);
    EXPECT_GE(MediaGetPosition(w()), 2000);
    EXPECT_EQ(MediaGetMode(w()), static_cast<int>(MCI_MODE_PLAY));
    // Closed: accepted without action.
    MediaClose(w());
    EXPECT_EQ(MediaSeekTo(w(), 5), 1);
    EXPECT_EQ(MediaTop(w()), 1);
    EXPECT_EQ(MediaZero(w()), 1);
    EXPECT_EQ(MediaGetLength(w()), 0);
    EXPECT_EQ(MediaPlay(w()), 0);
}

// 32- and 64-bit programs hear of a suspend only through WM_POWERBROADCAST.
TEST_F(Media, ASuspendClosesTheFileAndTheResumeOpensItAgainOnceWhereItWas) {
    ASSERT_EQ(MediaOpen(w(), wave.c_str()), 1);
    ASSERT_EQ(MediaSeekTo(w(), 1500), 1);
    SendMessageA(w(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    EXPECT_EQ(s()->sessionState, StateClosed);
    SendMessageA(w(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_EQ(s()->sessionState, StateOpened);
    EXPECT_EQ(MediaGetPosition(w()), 1500);
    MediaSeekTo(w(), 200);
    SendMessageA(w(), WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);  // the same resume, for the user
    EXPECT_EQ(MediaGetPosition(w()), 200);
    // A resume that comes alone; nothing was open at the suspend.
    SendMessageA(w(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    SendMessageA(w(), WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    EXPECT_EQ(MediaGetPosition(w()), 200);
    MediaClose(w());
    SendMessageA(w(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    SendMessageA(w(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_EQ(s()->sessionState, StateClosed);
}

// A device that stops behind the player's back, as a removed one does: the
// position stands still, and after two seconds playback ends with one box.
// Under Wine the device is left to its driver, which would never answer.
TEST_F(Media, APositionThatStandsStillWhilePlayingEndsPlaybackWithOneBox) {
    ASSERT_EQ(MediaOpen(w(), wave.c_str()), 1);
    ASSERT_EQ(MediaPlay(w()), 1);
    ASSERT_TRUE(tt::WaitUntil([&] { pw.Tick(); return MediaGetPosition(w()) > 0; }, 5000));
    mciSendCommandA(s()->mciDeviceId, MCI_PAUSE, MCI_WAIT, 0);
    const DWORD start = GetTickCount();
    const std::string box =
        Boxed([&] { tt::WaitUntil([&] { pw.Tick(); return s()->sessionState == StateClosed; }, 10000, 100); });
    EXPECT_EQ(s()->sessionState, StateClosed);
    EXPECT_GE(GetTickCount() - start, 1800u);
    EXPECT_NE(box.find(tt::Ansi("応答しなくなりました")), std::string::npos) << box;
    EXPECT_TRUE(g_mciDeviceLeft);
}

TEST_F(Media, PositionBarSeeksAndPausesPlayback) {
    ASSERT_EQ(MediaOpen(w(), wave.c_str()), 1);
    HWND bar = GetDlgItem(w(), IDC_POSITION_BAR);
    const int length = MediaGetLength(w());
    auto scroll = [&](int code, int thumb) { return OnPositionBar(w(), code, thumb, bar); };
    EXPECT_TRUE(scroll(SB_RIGHT, 0));
    EXPECT_EQ(MediaGetPosition(w()), length - 1);
    EXPECT_TRUE(scroll(SB_LEFT, 0));
    EXPECT_EQ(MediaGetPosition(w()), 0);
    EXPECT_TRUE(scroll(SB_LINERIGHT, 0));
    EXPECT_EQ(MediaGetPosition(w()), 1000);
    EXPECT_TRUE(scroll(SB_PAGERIGHT, 0));
    EXPECT_EQ(MediaGetPosition(w()), 1000 + length / 10);
    EXPECT_TRUE(scroll(SB_LINELEFT, 0));
    EXPECT_TRUE(scroll(SB_PAGELEFT, 0));
    EXPECT_TRUE(scroll(SB_LINELEFT, 0));  // below 0 becomes 0
    EXPECT_EQ(MediaGetPosition(w()), 0);
    EXPECT_TRUE(scroll(SB_THUMBTRACK, 1500));
    EXPECT_EQ(MediaGetPosition(w()), 1500 * s()->scrollScale);
    EXPECT_FALSE(OnPositionBar(w(), SB_LEFT, 0, GetDlgItem(w(), IDC_PLAY)));
    ASSERT_EQ(MediaPlay(w()), 1);
    EXPECT_TRUE(scroll(SB_THUMBTRACK, 500));
    EXPECT_EQ(s()->sessionState, StatePaused);
    EXPECT_EQ(MediaGetPosition(w()), 500);
    EXPECT_TRUE(scroll(SB_ENDSCROLL, 0));
    EXPECT_EQ(s()->sessionState, StatePaused);
    // The next tick puts the thumb where the media is.
    pw.Tick();
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 500 / s()->scrollScale);
}

TEST_F(Media, ErrorsShowMciTextWithProgramCaptionOrOnlyBeep) {
    // Mode with nothing open goes to device 0 and is reported.
    int mode = -1;
    const std::string box = Boxed([&] { mode = MediaGetMode(w()); });
    EXPECT_EQ(mode, 0);
    char expected[256] = "";
    mciGetErrorStringA(MCIERR_INVALID_DEVICE_ID, expected, sizeof expected);
    EXPECT_EQ(box, std::string("media_tests|") + expected);
    // With ShowError off only a beep: no box.
    pw.Command(IDM_SHOWERROR);
    EXPECT_EQ(s()->showErrors, 0);
    EXPECT_EQ(Boxed([&] { MediaGetMode(w()); }), "");
    // A missing file is reported and leaves the session closed.
    EXPECT_EQ(MediaOpen(w(), dir.File("missing.wav").c_str()), 0);
    EXPECT_EQ(s()->sessionState, StateClosed);
}

TEST_F(Media, DeviceCapabilitiesOnlyWhenClosed) {
    const int bits = MediaGetDevCaps(w());
    EXPECT_EQ(bits & 3, 3);  // has audio, can play
    ASSERT_EQ(MediaOpen(w(), wave.c_str()), 1);
    EXPECT_EQ(Boxed([&] { EXPECT_EQ(MediaGetDevCaps(w()), 0); }), "");
}

TEST_F(Media, PathWithoutDotOpensAsWaveaudio) {
    const std::string plain = dir.File("noextension");
    tt::WriteWave(plain, 1000);
    EXPECT_EQ(MediaOpen(w(), plain.c_str()), 1);
    EXPECT_EQ(s()->sessionState, StateOpened);
}

TEST_F(Media, BadFilesAreRefusedCleanly) {
    pw.Command(IDM_SHOWERROR);  // beep only
    const std::string empty = dir.File("empty.wav");
    tt::WriteFileBytes(empty, "");
    const std::string garbage = dir.File("garbage.wav");
    tt::WriteFileBytes(garbage, std::string(4096, '\x5a'));
    const std::string truncated = dir.File("truncated.wav");
    tt::WriteFileBytes(truncated, tt::ReadFileText(wave).substr(0, 30));
    const std::string longName(300, 'a');
    const std::string dbcs = dir.File(tt::Ansi("表.wav"));  // trail byte 0x5C
    tt::WriteWave(dbcs, 1000);
    for (const std::string &bad : {empty, garbage, truncated, dir.File("gone.wav"), std::string(), longName}) {
        MediaOpen(w(), bad.c_str());
        EXPECT_TRUE(s()->sessionState == StateClosed || s()->sessionState == StateOpened) << bad;
        MediaClose(w());
    }
    // A name too long for the buffers is refused before the open session is closed.
    ASSERT_EQ(MediaOpen(w(), wave.c_str()), 1);
    EXPECT_EQ(MediaOpen(w(), (dir.path + "\\" + longName + ".wav").c_str()), 0);
    EXPECT_EQ(s()->sessionState, StateOpened);
    EXPECT_EQ(std::string(s()->currentFile), wave);
    // The Shift-JIS name with a 0x5C trail byte opens, and its extension is found.
    EXPECT_EQ(MediaOpen(w(), dbcs.c_str()), 1);
    EXPECT_EQ(std::string(s()->currentFile), dbcs);
    // The player still works afterwards.
    EXPECT_EQ(MediaOpen(w(), wave.c_str()), 1);
    EXPECT_EQ(MediaPlay(w()), 1);
}

TEST_F(Media, ButtonsMenusAndTickFollowTheState) {
    HWND window = w();
    ASSERT_EQ(MediaOpen(window, wave.c_str()), 1);
    pw.Tick();
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_PLAY)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_STOP)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_TOP)));
    pw.Command(IDC_PLAY);
    EXPECT_EQ(s()->sessionState, StatePlaying);
    pw.Tick();
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_PLAY)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_STOP)));
    HMENU edit = GetSubMenu(GetMenu(window), 1);
    UpdateMenuStates(window, edit, 1, FALSE);
    EXPECT_TRUE(GetMenuState(edit, IDM_PLAY, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_FALSE(GetMenuState(edit, IDM_STOP, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(edit, IDM_RECORD, MF_BYCOMMAND) & MF_GRAYED);
    pw.Command(IDM_STOP);
    EXPECT_EQ(s()->sessionState, StatePaused);
    pw.Command(IDM_REPEATALL);
    HMENU view = GetSubMenu(GetMenu(window), 2);
    UpdateMenuStates(window, view, 2, FALSE);
    UpdateMenuStates(window, edit, 1, FALSE);
    EXPECT_TRUE(GetMenuState(edit, IDM_REPEATALL, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_TRUE(GetMenuState(view, IDM_SHOWHOUR, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_TRUE(GetMenuState(view, IDM_SHOWERROR, MF_BYCOMMAND) & MF_CHECKED);
    pw.Command(IDM_REPEATALL);
    // The topmost toggle flips the window style only.
    pw.Command(IDM_TOPMOST);
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(s()->topmost, 0);
    pw.Command(IDM_TOPMOST);
    EXPECT_FALSE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(Media, FirstTickTakesTheCommandLineFile) {
    s()->pendingCommandFile = wave.c_str();
    pw.Tick();
    EXPECT_EQ(s()->pendingCommandFile, nullptr);
    EXPECT_EQ(s()->sessionState, StateOpened);
    EXPECT_EQ(std::string(s()->lastFile), "");
    EXPECT_EQ(s()->recentFiles.entryCount, 1);
    // A tail longer than the name buffers is refused, not cut.
    const std::string tail(400, 'x');
    pw.Command(IDM_SHOWERROR);
    s()->pendingCommandFile = tail.c_str();
    pw.Tick();
    EXPECT_EQ(s()->pendingCommandFile, nullptr);
    EXPECT_EQ(std::string(s()->currentFile), wave);
}

TEST_F(Media, MissingLastFileShowsTheMessage) {
    const std::string gone = dir.File("gone.wav");
    lstrcpyA(s()->lastFile, gone.c_str());
    const std::string box = Boxed([&] { pw.Tick(); });
    EXPECT_NE(box.find(tt::Ansi("が見つかりません。")), std::string::npos);
    EXPECT_NE(box.find(gone), std::string::npos);
    EXPECT_EQ(std::string(s()->lastFile), "");
    EXPECT_EQ(s()->sessionState, StateClosed);
    // An existing last file opens at its position with its zero mark.
    lstrcpyA(s()->lastFile, wave.c_str());
    s()->lastFilePos = 1200;
    s()->lastFileOffset = 700;
    pw.Tick();
    EXPECT_EQ(s()->sessionState, StateOpened);
    EXPECT_EQ(MediaGetPosition(w()), 1200);
    EXPECT_EQ(s()->zeroMark, 700);
    EXPECT_EQ(pw.Text(IDC_POSITION), " 00:00:00.50");
}

}  // namespace
