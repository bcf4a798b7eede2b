// The player's MP3 branch against scripted decoder libraries: the answers a
// real decoder gives rarely (a missing entry point, sample rate 0, unknown
// error numbers, a decoder that never starts).
#include "player_process.h"
#include "res/resource.h"
#include <mmsystem.h>

namespace {

constexpr DdeOutcome kDone = DdeOutcome::Done;
constexpr DdeOutcome kRefused = DdeOutcome::NotProcessed;

class FakeDecoder : public PlayerProcess {
protected:
    // Stages tests/<library>.dll as VBMP3.dll beside the player.
    void StartWith(const char *library, bool showErrors = false) {
        const std::string from = tt::TestsDir() + "\\" + library + ".dll";
        ASSERT_TRUE(CopyFileA(from.c_str(), dir.File("VBMP3.dll").c_str(), FALSE)) << from;
        StartPlayer("Tavolin.exe", showErrors);
    }
    // An .mp3 whose text scripts the fake decoder.
    std::string Script(const char *name, const char *text) {
        const std::string path = dir.File(name);
        tt::WriteFileBytes(path, text);
        return path;
    }
    // The text of the player's next message box, closed with OK.
    std::string CloseBox() {
        HWND box = tt::WaitForProcessWindow(player.info.dwProcessId, "#32770", 5000);
        if (!box) return kNoBox;
        const std::string text = tt::MessageBoxText(box);
        tt::PressButton(box, IDOK);
        return text;
    }
    std::string VersionBoxText() {
        PostMessageA(player.window, WM_COMMAND, IDM_VERSION, 0);
        return CloseBox();
    }
    static constexpr const char *kNoBox = "<no box>";
};

TEST_F(FakeDecoder, ALibraryMissingOneEntryPointCountsAsMissing) {
    StartWith("fake_vbmp3_23");
    EXPECT_EQ(Exec("[Open(" + Script("a.mp3", "rate=44100") + ")]"), kRefused);
    const std::string text = VersionBoxText();
    EXPECT_NE(text.find("Tavolin Version"), std::string::npos) << text;
    EXPECT_EQ(text.find("VBMP3"), std::string::npos) << text;
}

TEST_F(FakeDecoder, FullLibraryWithoutVersionResourceShowsTheCredits) {
    StartWith("fake_vbmp3");
    ASSERT_EQ(Exec("[Open(" + Script("a.mp3", "rate=44100 samples=441000") + ")]"), kDone);
    EXPECT_EQ(Get("GetLen"), "10000");
    ASSERT_EQ(Exec("[SeekTo(1000)]"), kDone);
    EXPECT_EQ(Get("GetPos"), "1000");  // sample 44100
    const std::string text = VersionBoxText();
    EXPECT_NE(text.find("VBMP3.dll Version 0.99"), std::string::npos) << text;
    EXPECT_NE(text.find("MP3 decoding through the VBMP3 decoder library."), std::string::npos) << text;
}

TEST_F(FakeDecoder, SampleRateZeroGivesLengthAndPositionZero) {
    StartWith("fake_vbmp3");
    ASSERT_EQ(Exec("[Open(" + Script("zero.mp3", "rate=0 samples=5000") + ")]"), kDone);
    EXPECT_EQ(Get("GetLen"), "0");
    EXPECT_EQ(Get("GetPos"), "0");
    EXPECT_EQ(Exec("[SeekTo(1000)]"), kDone);
    EXPECT_EQ(Get("GetPos"), "0");
    EXPECT_TRUE(player.Running());
}

// The error box: "VBMP3 Error : n" and string 640 + n, or 640 past 33.
TEST_F(FakeDecoder, ErrorNumbersPastTheTableShowTheUnknownError) {
    StartWith("fake_vbmp3", true);
    const std::string ctl = tt::BinDir() + "\\TavolinCtl.exe";
    struct Case { const char *script, *number, *text; };
    const Case cases[] = {
        {"error=34", "VBMP3 Error : 34", "\x96\xa2\x92\x6d\x82\xcc\x83\x47\x83\x89\x81\x5b"},  // 未知のエラー
        {"error=33", "VBMP3 Error : 33", "NT"},  // the table's last entry
    };
    for (const Case &c : cases) {
        tt::Program client;
        ASSERT_TRUE(tt::StartProcess(client, "\"" + ctl + "\" exec \"[Open(" + Script("bad.mp3", c.script) + ")]\""));
        const std::string text = CloseBox();
        ASSERT_NE(text, kNoBox) << c.script;
        EXPECT_NE(text.find(c.number), std::string::npos) << text;
        EXPECT_NE(text.find(c.text), std::string::npos) << text;
        EXPECT_EQ(client.WaitExit(10000), 1) << c.script;
    }
    EXPECT_EQ(Get("GetLen"), "0");
}

// A decoder that never reaches the state the player waits for: the wait
// gives up after its bound, the session is closed, the player goes on.
TEST_F(FakeDecoder, ADecoderThatNeverStartsIsGivenUp) {
    StartWith("fake_vbmp3");
    const DWORD start = GetTickCount();
    EXPECT_EQ(Exec("[Open(" + Script("stuck.mp3", "rate=44100 stuck=1") + ")]"), kRefused);
    const DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 1900u);
    EXPECT_LT(took, 8000u);
    EXPECT_EQ(Get("GetLen"), "0");
    ASSERT_EQ(Exec("[Open(" + Script("fine.mp3", "rate=22050 samples=22050") + ")]"), kDone);
    EXPECT_EQ(Get("GetLen"), "1000");
    // With errors shown, the box words the decoder's error, not MCI's.
    PostMessageA(player.window, WM_COMMAND, IDM_SHOWERROR, 0);
    EXPECT_EQ(Exec("[Open(" + Script("stuck2.mp3", "rate=44100 stuck=1") + ")]"), kRefused);
    const std::string text = CloseBox();
    EXPECT_NE(text.find("VBMP3 Error"), std::string::npos) << text;
}

// A close whose teardown never returns still ends the player, its settings
// written; the recent list holds the file.
TEST_F(FakeDecoder, ACloseWhoseTeardownNeverReturnsStillEndsThePlayer) {
    StartWith("fake_vbmp3");
    const std::string hung = Script("hung.mp3", "rate=22050 samples=22050 hang=1");
    ASSERT_EQ(Exec("[Open(" + hung + ")]"), kDone);
    PostMessageA(player.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(player.WaitExit(20000), 0);
    EXPECT_EQ(tt::ReadIni(ini, "RecentFileList", "MRU1"), hung);
}

TEST_F(FakeDecoder, ALateEndOfPlaySignalTouchesNoOtherSession) {
    StartWith("fake_vbmp3");
    const std::string late = Script("late.mp3", "rate=22050 samples=44100 late=1");
    const std::string next = Script("next.mp3", "rate=22050 samples=22050");
    // After a close: the session stays closed.
    ASSERT_EQ(Exec("[Open(" + late + ")]"), kDone);
    ASSERT_EQ(Exec("[Close()]"), kDone);
    Sleep(300);
    EXPECT_EQ(Get("GetLen"), "0");
    ASSERT_EQ(Exec("[Play()]"), kRefused);
    // Into a newly opened file: it stays open and plays.
    ASSERT_EQ(Exec("[Open(" + late + ")]"), kDone);
    ASSERT_EQ(Exec("[Open(" + next + ")]"), kDone);
    Sleep(2500);  // past the decoder wait that a false end of play would start
    EXPECT_EQ(Get("GetLen"), "1000");
    EXPECT_EQ(Exec("[Play()]"), kDone);
    EXPECT_EQ(Mode(), static_cast<int>(MCI_MODE_PLAY));
    // MCI's notices (a closed Wave's, say) name devices, not MP3 sessions.
    for (LPARAM device = 1; device <= 16; ++device)
        PostMessageA(player.window, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, device);
    EXPECT_EQ(Get("GetLen"), "1000");
    EXPECT_EQ(Mode(), static_cast<int>(MCI_MODE_PLAY));
}

}  // namespace
