// Recording through real MCI waveaudio, one recording per process: Wine's
// waveaudio driver crashes a process that opens a second new recording after
// closing the first, so ctest runs each of these tests on its own.
#include <gtest/gtest.h>
#include "media_fixture.h"
#include "media/media_session.h"
#include "app/commands.h"
#include "res/resource.h"
#include <mmsystem.h>
#include <cstdio>

namespace {

TEST_F(Media, RecordStopSaveWritesTheChosenFormat) {
    ASSERT_EQ(MediaOpenForRecord(w(), 22050, 16, 2), 1);
    EXPECT_EQ(s()->sessionState, StateRecordReady);
    EXPECT_EQ(pw.Text(IDC_FILENAME), tt::Ansi("新規"));
    EXPECT_EQ(MediaSaveAs(w(), dir.File("early.wav").c_str()), 0);  // not yet recorded
    EXPECT_EQ(MediaStopRecord(w()), 0);
    ASSERT_EQ(MediaRecord(w()), 1);
    EXPECT_EQ(s()->sessionState, StateRecording);
    EXPECT_EQ(MediaRecord(w()), 0);
    tt::Pump(800);
    ASSERT_EQ(MediaStopRecord(w()), 1);
    EXPECT_EQ(s()->sessionState, StateRecorded);
    const std::string saved = dir.File("saved.wav");
    ASSERT_EQ(MediaSaveAs(w(), saved.c_str()), 1);
    EXPECT_EQ(s()->sessionState, StateClosed);
    const tt::WaveHeader h = tt::ReadWaveHeader(saved);
    ASSERT_TRUE(h.valid);
    EXPECT_EQ(h.formatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(h.samplesPerSec, 22050u);
    EXPECT_EQ(h.bitsPerSample, 16);
    EXPECT_EQ(h.channels, 2);
    EXPECT_EQ(h.blockAlign, 4);
    EXPECT_EQ(h.avgBytesPerSec, 88200u);
    EXPECT_GT(h.dataBytes, 0u);
    // The saved file plays back.
    EXPECT_EQ(MediaOpen(w(), saved.c_str()), 1);
    EXPECT_GT(MediaGetLength(w()), 300);
}

// A save that fails (a folder not there, a disk too full for the take, where
// MCI itself says nothing) leaves no stub and keeps the whole take for a save
// elsewhere.
TEST_F(Media, FailedSaveKeepsTheRecording) {
    ASSERT_EQ(MediaOpenForRecord(w(), 11025, 8, 1), 1);
    ASSERT_EQ(MediaRecord(w()), 1);
    tt::Pump(3000);  // a sound server may take two seconds to give its first samples
    ASSERT_EQ(MediaStopRecord(w()), 1);
    ASSERT_GT(s()->takeBytes, 0u);
    const int recorded = MediaGetLength(w());
    pw.Command(IDM_SHOWERROR);
    EXPECT_EQ(MediaSaveAs(w(), dir.File("no\\such\\folder.wav").c_str()), 0);
    EXPECT_EQ(s()->sessionState, StateRecorded);
    pw.Tick();
    HMENU file = GetSubMenu(GetMenu(w()), 0);
    UpdateMenuStates(w(), file, 0, FALSE);
    EXPECT_FALSE(GetMenuState(file, IDM_SAVEAS, MF_BYCOMMAND) & MF_GRAYED);
    const std::string drive = tt::SmallDrive();
    if (!drive.empty()) {
        tt::DriveFiller full(drive, 0);
        EXPECT_EQ(MediaSaveAs(w(), (drive + "\\take.wav").c_str()), 0);
        EXPECT_FALSE(tt::FileExists(drive + "\\take.wav"));
        EXPECT_FALSE(tt::FileExists(drive + "\\take.wav.new"));
        EXPECT_EQ(s()->sessionState, StateRecorded);
    } else {
        printf("no small drive to fill (the runner mounts one where it may): the full disk is not tried\n");
    }
    const std::string saved = dir.File("take.wav");
    ASSERT_EQ(MediaSaveAs(w(), saved.c_str()), 1);
    ASSERT_EQ(MediaOpen(w(), saved.c_str()), 1);
    EXPECT_GE(MediaGetLength(w()), recorded - 1);
}

// Run without a sound server (where a machine has another device, what it
// records passes for a recording). A recording that holds nothing: the stop
// and a save are refused with our box, and no file is written.
using NoDevice = Media;

TEST_F(NoDevice, ARecordingThatHoldsNothingIsReportedAndNotSaved) {
    ASSERT_EQ(MediaOpenForRecord(w(), 11025, 8, 1), 1);
    ASSERT_EQ(MediaRecord(w()), 1);
    int stopped = -1;
    const std::string box = Boxed([&] { stopped = MediaStopRecord(w()); });
    EXPECT_EQ(s()->sessionState, StateRecorded);
    const std::string saved = dir.File("empty.wav");
    if (box.empty()) {
        EXPECT_EQ(stopped, 1);
        EXPECT_GT(MediaGetPosition(w()), 0);
        return;
    }
    EXPECT_EQ(stopped, 0);
    EXPECT_NE(box.find(tt::Ansi("何も録音されていません")), std::string::npos) << box;
    int refused = -1;
    EXPECT_EQ(Boxed([&] { refused = MediaSaveAs(w(), saved.c_str()); }), box);
    EXPECT_EQ(refused, 0);
    EXPECT_FALSE(tt::FileExists(saved));
}

// Playback that never starts is refused with one box, where the player once
// said it played.
TEST_F(NoDevice, PlaybackThatNeverStartsIsRefused) {
    ASSERT_EQ(MediaOpen(w(), wave.c_str()), 1);
    int played = -1;
    const std::string box = Boxed([&] { played = MediaPlay(w()); });
    if (s()->sessionState == StatePlaying) return;  // a device after all
    EXPECT_EQ(played, 0);
    EXPECT_EQ(s()->sessionState, StateOpened);
    EXPECT_NE(box.find(tt::Ansi("応答しなくなりました")), std::string::npos) << box;
}

TEST_F(Media, TopDuringRecordingLeavesPausedAndRefusesSave) {
    ASSERT_EQ(MediaOpenForRecord(w(), 11025, 8, 1), 1);
    ASSERT_EQ(MediaRecord(w()), 1);
    tt::Pump(400);
    ASSERT_EQ(MediaTop(w()), 1);
    EXPECT_EQ(s()->sessionState, StatePaused);
    EXPECT_EQ(MediaSaveAs(w(), dir.File("x.wav").c_str()), 0);
    MediaClose(w());
}

TEST_F(Media, RecordingGreysPlaybackItemsAndOffersSave) {
    HWND window = w();
    HMENU edit = GetSubMenu(GetMenu(window), 1);
    // A recording greys repeat-all, play, top and last; only record is offered.
    ASSERT_EQ(MediaOpenForRecord(window, 22050, 8, 1), 1);
    UpdateMenuStates(window, edit, 1, FALSE);
    EXPECT_TRUE(GetMenuState(edit, IDM_REPEATALL, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(edit, IDM_TOP, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_FALSE(GetMenuState(edit, IDM_RECORD, MF_BYCOMMAND) & MF_GRAYED);
    pw.Command(IDM_RECORD);
    EXPECT_EQ(s()->sessionState, StateRecording);
    tt::Pump(300);
    pw.Command(IDC_STOP);
    EXPECT_EQ(s()->sessionState, StateRecorded);
    HMENU file = GetSubMenu(GetMenu(window), 0);
    UpdateMenuStates(window, file, 0, FALSE);
    EXPECT_FALSE(GetMenuState(file, IDM_SAVEAS, MF_BYCOMMAND) & MF_GRAYED);
}

// File > New with errors shown: no box while the new recording waits.
TEST(RecordProgram, FileNewIsQuietWithErrorsShown) {
    tt::TempDir dir;
    const std::string exe = tt::Stage(dir, "Tavolin.exe", "Tavolin.exe");
    tt::WriteIni(dir.File("Tavolin.ini"), "Tavolin", "ShowError", "1");
    tt::Program player;
    ASSERT_TRUE(tt::Start(player, exe, ""));
    PostMessageA(player.window, WM_COMMAND, IDM_NEW, 0);
    HWND format = tt::WaitForProcessWindow(player.info.dwProcessId, "#32770", 5000);
    ASSERT_NE(format, nullptr);
    tt::PressButton(format, IDOK);
    ASSERT_TRUE(tt::WaitUntil([&] { return tt::ControlText(player.window, IDC_FILENAME) == tt::Ansi("新規"); }, 5000));
    tt::Pump(3000);
    EXPECT_TRUE(tt::ProcessWindows(player.info.dwProcessId, "#32770").empty());
    EXPECT_TRUE(player.Close(10000));
}

}  // namespace
