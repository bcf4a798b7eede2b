// Runeby: its key lists and bindings in this process, and real key presses
// through our hook library reaching the real player.
#include "mapper_support.h"
#include <gtest/gtest.h>
#include <commctrl.h>
#include <mmsystem.h>
#include "common/dde_client.h"
#include "key_lists.h"
#include "key_settings.h"
#include "runeby_program.h"
#include "keys/res/resource.h"
#include "player_process.h"

namespace {

std::string Settings() { return mt::MapperWindow::SettingsPath(); }

// A settings file for Runeby whose commands go to the DDE sink.
void WriteSinkSettings(const std::string &mapEntries, int mapCount) {
    std::string ini =
        "[Runeby]\r\nVersion=2.3(32)\r\n[DDE]\r\nServiceName=Sink\r\nTopicName=Command\r\n"
        "[Command]\r\nCount=3\r\n01=[Play()]\r\n02=[Pause()]\r\n[Map]\r\nCount=" + std::to_string(mapCount) + "\r\n" +
        mapEntries;
    tt::WriteFileBytes(Settings(), ini);
}

void Press(HWND window, WORD key, WORD modifiers, bool release = false) {
    RunebyState *state = GetRunebyState(window);
    SendMessageA(window, state->hookMessage, MAKEWPARAM(key, modifiers), release ? static_cast<LPARAM>(0x80000000u) : 0);
}

void Click(HWND window, int id, int code = BN_CLICKED) {
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

void Select(HWND window, int list, int line) {
    SendDlgItemMessageA(window, list, LB_SETCURSEL, line, 0);
    Click(window, list, LBN_SELCHANGE);
}

std::vector<std::string> Received(const std::string &log) {
    std::vector<std::string> texts;
    for (const mt::SinkExecute &e : mt::ReadSinkLog(log)) texts.push_back(e.bytes.c_str());
    return texts;
}

class RunebySink : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(mt::StartSink(sink, "Sink", log)); }
    void TearDown() override {
        DdeLink().Execute("Sink", "Command", "[Quit]", 3000);
        sink.WaitExit(3000);
    }
    tt::TempDir dir;
    std::string log = dir.File("sink.log");
    tt::Program sink;
};

}  // namespace

TEST(Runeby, KeyCatalogueInListOrder) {
    mt::MapperWindow w(&kRunebyProgram);
    RunebyState *state = GetRunebyState(w.window());
    const int sizes[kModifierCombinations] = {19, 19, 55, 55, 55, 55, 55, 55};
    int total = 0;
    for (int i = 0; i < kModifierCombinations; ++i) {
        EXPECT_EQ(state->keyLists[i].count, sizes[i]);
        total += state->keyLists[i].count;
    }
    EXPECT_EQ(total, kKeyEntryTotal);
    EXPECT_STREQ(KeyAt(state->keyLists[1], 0)->name, "Shift+\x81\xA9");
    EXPECT_STREQ(KeyAt(state->keyLists[1], 3)->name, "Shift+\x81\xAB");
    EXPECT_EQ(KeyAt(state->keyLists[2], 9)->keyCode, '0');
    EXPECT_STREQ(KeyAt(state->keyLists[7], 54)->name, "Shift+Ctrl+Alt+F15");
    EXPECT_EQ(KeyAt(state->keyLists[6], 0)->modifiers, KEYMOD_CTRL | KEYMOD_ALT);

    // The list box follows the modifier boxes; both selections go.
    HWND window = w.window();
    EXPECT_EQ(mt::ListLines(window, IDC_KEYLIST).front(), "F1");
    EXPECT_EQ(mt::ListLines(window, IDC_KEYLIST).size(), 19u);
    EXPECT_EQ(mt::ListLines(window, IDC_KEYLIST)[15], "Play/Pause");
    EXPECT_EQ(KeyAt(state->keyLists[0], 18)->keyCode, VK_MEDIA_PREV_TRACK);
    Select(window, IDC_KEYLIST, 2);
    SendDlgItemMessageA(window, IDC_SHIFT, BM_SETCHECK, BST_CHECKED, 0);
    Click(window, IDC_SHIFT);
    EXPECT_EQ(mt::ListLines(window, IDC_KEYLIST).size(), 19u);
    SendDlgItemMessageA(window, IDC_SHIFT, BM_SETCHECK, BST_UNCHECKED, 0);
    SendDlgItemMessageA(window, IDC_CTRL, BM_SETCHECK, BST_CHECKED, 0);
    SendDlgItemMessageA(window, IDC_ALT, BM_SETCHECK, BST_CHECKED, 0);
    Click(window, IDC_ALT);
    const std::vector<std::string> lines = mt::ListLines(window, IDC_KEYLIST);
    ASSERT_EQ(lines.size(), 55u);
    EXPECT_EQ(lines[0], "Ctrl+Alt+1");
    EXPECT_EQ(lines[54], "Ctrl+Alt+F15");
    EXPECT_EQ(mt::ListSelection(window, IDC_KEYLIST), -1);
    EXPECT_EQ(mt::ListSelection(window, IDC_COMMANDLIST), -1);
}

TEST(Runeby, MapValuesAreReadByPositionAndLaterOnesWin) {
    WriteSinkSettings("01=004,065,01\r\n02=008,051,5\r\n03=008,049,01\r\n04=008,049,02\r\n05=024,049,02\r\n"
                      "06=040,050,01\r\n07=008,051,09\r\n08=009,052,01\r\n",
                      8);
    mt::MapperWindow w(&kRunebyProgram, true);
    RunebyState *state = GetRunebyState(w.window());
    // Bound: Ctrl+1 -> 02 (the later value), Ctrl+Alt+1 -> 02. Skipped:
    // Shift+A (not offered), nine characters (read by position, "008,051,5"
    // would bind Ctrl+3 to 02), flags 40 and 9 (no such entry),
    // command 9 (not below the three-entry list's count of 4).
    ASSERT_EQ(state->activeBindings.count, 2);
    EXPECT_STREQ(KeyAt(state->activeBindings, 0)->name, "Ctrl+1");
    EXPECT_EQ(KeyAt(state->activeBindings, 0)->command, 2);
    EXPECT_STREQ(KeyAt(state->activeBindings, 1)->name, "Ctrl+Alt+1");
    // Selecting Ctrl+1 selects its command; an unbound key selects 00.
    SendDlgItemMessageA(w.window(), IDC_CTRL, BM_SETCHECK, BST_CHECKED, 0);
    Click(w.window(), IDC_CTRL);
    Select(w.window(), IDC_KEYLIST, 0);
    EXPECT_EQ(mt::ListSelection(w.window(), IDC_COMMANDLIST), 2);
    Select(w.window(), IDC_KEYLIST, 5);
    EXPECT_EQ(mt::ListSelection(w.window(), IDC_COMMANDLIST), 0);
}

// A count above the limit reads no entry past it.
TEST(Runeby, AMapCountAboveTheLimitReadsNoEntryPastIt) {
    std::string map;
    for (int n = 1; n <= kKeyEntryTotal + 1; ++n) {
        char line[32];
        wsprintfA(line, "%02d=008,049,%02d\r\n", n, n <= kKeyEntryTotal ? 1 : 2);
        map += line;
    }
    WriteSinkSettings(map, kKeyEntryTotal + 1);
    mt::MapperWindow w(&kRunebyProgram, true);
    RunebyState *state = GetRunebyState(w.window());
    ASSERT_EQ(state->activeBindings.count, 1);
    EXPECT_EQ(KeyAt(state->activeBindings, 0)->command, 1);
}

TEST(Runeby, EverySavedBindingIsReadBack) {
    // Save writes all bindings, keys "100" and up included; the load reads
    // them all back.
    DeleteFileA(Settings().c_str());
    {
        mt::MapperWindow w(&kRunebyProgram);
        RunebyState *state = GetRunebyState(w.window());
        for (RecordArray &list : state->keyLists)
            for (int i = 0; i < list.count; ++i) KeyAt(list, i)->command = 1 + i % 10;
        Click(w.window(), IDC_SAVE);
    }
    EXPECT_EQ(tt::ReadIni(Settings(), "Map", "Count"), "368");
    EXPECT_EQ(tt::ReadIni(Settings(), "Map", "16"), "000,179,06");  // Play/Pause
    EXPECT_EQ(tt::ReadIni(Settings(), "Map", "368"), "028,126,05");
    mt::MapperWindow w(&kRunebyProgram, true);
    EXPECT_EQ(GetRunebyState(w.window())->activeBindings.count, kKeyEntryTotal);
    EXPECT_EQ(KeyAt(GetRunebyState(w.window())->activeBindings, 367)->command, 5);
}

TEST_F(RunebySink, DispatchSendsPressesOfAppliedBindingsOnly) {
    WriteSinkSettings("01=008,049,01\r\n", 1);
    mt::MapperWindow w(&kRunebyProgram, true);
    HWND window = w.window();
    Press(window, '1', KEYMOD_CTRL);
    Press(window, '1', KEYMOD_CTRL);                  // a held key repeats
    Press(window, '1', KEYMOD_CTRL, true);            // releases send nothing
    Press(window, '1', KEYMOD_CTRL | KEYMOD_SHIFT);   // exact modifiers only
    Press(window, '2', KEYMOD_CTRL);                  // not bound
    // Ctrl+2 bound in the dialog: nothing until applied.
    SendDlgItemMessageA(window, IDC_CTRL, BM_SETCHECK, BST_CHECKED, 0);
    Click(window, IDC_CTRL);
    Select(window, IDC_KEYLIST, 1);
    Select(window, IDC_COMMANDLIST, 2);
    Press(window, '2', KEYMOD_CTRL);
    Click(window, IDC_APPLY);
    Press(window, '2', KEYMOD_CTRL);
    ASSERT_TRUE(tt::WaitUntil([&] { return Received(log).size() >= 3; }, 5000));
    tt::Pump(300);
    EXPECT_EQ(Received(log), (std::vector<std::string>{"[Play()]", "[Play()]", "[Pause()]"}));
    // Clear stops dispatch at once; with Save it writes Count 0 and leaves
    // the old keys unread.
    Click(window, IDC_CLEAR);
    Press(window, '1', KEYMOD_CTRL);
    Click(window, IDC_SAVE);
    tt::Pump(300);
    EXPECT_EQ(Received(log).size(), 3u);
    EXPECT_EQ(tt::ReadIni(Settings(), "Map", "Count"), "0");
    EXPECT_EQ(tt::ReadIni(Settings(), "Map", "01"), "008,049,01");
}

TEST_F(RunebySink, AppliedButUnsavedBindingIsGoneAtTheNextStart) {
    WriteSinkSettings("", 0);
    {
        mt::MapperWindow w(&kRunebyProgram, true);
        SendDlgItemMessageA(w.window(), IDC_CTRL, BM_SETCHECK, BST_CHECKED, 0);
        Click(w.window(), IDC_CTRL);
        Select(w.window(), IDC_KEYLIST, 0);
        Select(w.window(), IDC_COMMANDLIST, 1);
        Click(w.window(), IDC_APPLY);
        EXPECT_EQ(GetRunebyState(w.window())->activeBindings.count, 1);
    }
    mt::MapperWindow w(&kRunebyProgram, true);
    EXPECT_EQ(GetRunebyState(w.window())->activeBindings.count, 0);
}

namespace {

void Keys(std::initializer_list<std::pair<WORD, bool>> keys) {
    for (const auto &k : keys) {
        INPUT in = {};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = k.first;
        in.ki.dwFlags = k.second ? KEYEVENTF_KEYUP : 0;
        SendInput(1, &in, sizeof in);
        tt::Pump(20);
    }
}

void Chord(WORD modifier, WORD key) { Keys({{modifier, false}, {key, false}, {key, true}, {modifier, true}}); }

}  // namespace

TEST_F(RunebySink, StartsCentredConnectedWithItsTipsAndLetsAllGoAtClose) {
    WriteSinkSettings("", 0);
    {
        mt::MapperWindow w(&kRunebyProgram, true);
        HWND window = w.window();
        EXPECT_NE(DdeClientConversation(), nullptr);  // connected before any command
        RECT r;
        GetWindowRect(window, &r);
        EXPECT_EQ(r.left, GetSystemMetrics(SM_CXSCREEN) / 2 - (r.right - r.left) / 2);
        EXPECT_EQ(r.top, GetSystemMetrics(SM_CYSCREEN) / 2 - (r.bottom - r.top) / 2);
        RunebyState *state = GetRunebyState(window);
        ASSERT_TRUE(tt::WaitUntil([&] { return state->tooltip != nullptr; }, 3000));
        for (const auto &tip : {std::make_pair(IDC_SAVE, "設定内容を保存します。"),
                                std::make_pair(IDC_KEYLIST, "コマンドを割り当てるキーを選択します。")}) {
            char text[256] = "";
            TOOLINFOA tool = {};
            tool.cbSize = TTTOOLINFOA_V1_SIZE;
            tool.hwnd = window;
            tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(window, tip.first));
            tool.lpszText = text;
            SendMessageA(state->tooltip, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
            EXPECT_EQ(std::string(text), tt::Ansi(tip.second));
        }
        EXPECT_NE(GetModuleHandleA("Clavtrap.dll"), nullptr);
    }
    // The conversation and the hook library are gone, the hook with them:
    // keys pressed now reach no freed code.
    EXPECT_EQ(DdeClientConversation(), nullptr);
    EXPECT_EQ(GetModuleHandleA("Clavtrap.dll"), nullptr);
    Keys({{VK_F9, false}, {VK_F9, true}});
    tt::Pump(1200);  // past the library's watchdog
    // The topic is the file's: the sink serves none other.
    WritePrivateProfileStringA("DDE", "TopicName", "Elsewhere", Settings().c_str());
    mt::MapperWindow w(&kRunebyProgram, true);
    EXPECT_EQ(DdeClientConversation(), nullptr);
}

TEST_F(RunebySink, AKeyBoundToAnEmptyCommandSendsNothing) {
    // Command 03 is within the count but has no text.
    WriteSinkSettings("01=008,051,03\r\n02=008,049,01\r\n", 2);
    mt::MapperWindow w(&kRunebyProgram, true);
    ASSERT_EQ(GetRunebyState(w.window())->activeBindings.count, 2);
    Press(w.window(), '3', KEYMOD_CTRL);
    Press(w.window(), '1', KEYMOD_CTRL);
    ASSERT_TRUE(tt::WaitUntil([&] { return !Received(log).empty(); }, 5000));
    tt::Pump(300);
    EXPECT_EQ(Received(log), std::vector<std::string>{"[Play()]"});
}


// A real key press anywhere: our hook library sees it, Runeby finds the
// binding and the real player acts on the command.
class RunebyWithPlayer : public PlayerProcess {};

TEST_F(RunebyWithPlayer, BoundKeysDriveThePlayerStartedAfterTheMapper) {
    const std::string mapperExe = tt::Stage(dir, "Runeby.exe", "Runeby.exe");
    tt::Stage(dir, "Clavtrap.dll", "Clavtrap.dll");
    tt::Program mapper;
    ASSERT_TRUE(tt::Start(mapper, mapperExe, "", "RunebyWndClass"));
    Chord(VK_CONTROL, '1');  // nobody to hear it yet
    tt::Pump(300);

    StartPlayer();
    const std::string wave = dir.File("tone.wav");
    tt::WriteWave(wave, 20000);
    ASSERT_EQ(Exec("[Open(" + wave + ")]"), DdeOutcome::Done);
    ASSERT_EQ(Mode(), static_cast<int>(MCI_MODE_STOP));
    Chord(VK_CONTROL, '1');
    EXPECT_TRUE(tt::WaitUntil([&] { return Mode() == static_cast<int>(MCI_MODE_PLAY); }, 5000));
    // Ctrl+Shift+2 is not Ctrl+2.
    Keys({{VK_CONTROL, false}, {VK_SHIFT, false}, {'2', false}, {'2', true}, {VK_SHIFT, true}, {VK_CONTROL, true}});
    tt::Pump(500);
    EXPECT_EQ(Mode(), static_cast<int>(MCI_MODE_PLAY));
    Chord(VK_CONTROL, '2');
    EXPECT_TRUE(tt::WaitUntil([&] { return Mode() == static_cast<int>(MCI_MODE_PAUSE); }, 5000));
    EXPECT_TRUE(mapper.Close());
}

TEST_F(RunebyWithPlayer, TheMediaPlayPauseKeyPlaysAndPausesThePlayer) {
    const std::string mapperExe = tt::Stage(dir, "Runeby.exe", "Runeby.exe");
    tt::Stage(dir, "Clavtrap.dll", "Clavtrap.dll");
    tt::WriteFileBytes(dir.File("Runeby.ini"),
                       "[Runeby]\r\nVersion=2.3(32)\r\n[Command]\r\nCount=1\r\n01=[PlayPause()]\r\n"
                       "[Map]\r\nCount=1\r\n01=000,179,01\r\n");
    tt::Program mapper;
    ASSERT_TRUE(tt::Start(mapper, mapperExe, "", "RunebyWndClass"));
    StartPlayer();
    const std::string wave = dir.File("tone.wav");
    tt::WriteWave(wave, 20000);
    ASSERT_EQ(Exec("[Open(" + wave + ")]"), DdeOutcome::Done);
    Keys({{VK_MEDIA_PLAY_PAUSE, false}, {VK_MEDIA_PLAY_PAUSE, true}});
    EXPECT_TRUE(tt::WaitUntil([&] { return Mode() == static_cast<int>(MCI_MODE_PLAY); }, 5000));
    Keys({{VK_MEDIA_PLAY_PAUSE, false}, {VK_MEDIA_PLAY_PAUSE, true}});
    EXPECT_TRUE(tt::WaitUntil([&] { return Mode() == static_cast<int>(MCI_MODE_PAUSE); }, 5000));
    EXPECT_TRUE(mapper.Close());
}

namespace {

// What the window holds, checked for sense on the way.
mt::MapperReading ReadRuneby(HWND window) {
    RunebyState *state = GetRunebyState(window);
    mt::MapperReading snap;
    EXPECT_GE(state->commandCount, 1);
    EXPECT_LE(state->commandCount, 100);
    for (int i = 0; i < state->commandCount; ++i) {
        EXPECT_LT(lstrlenA(state->commands[i]), kTextSize);
        snap.lines.push_back(state->commands[i]);
    }
    const std::vector<std::string> lines = mt::ListLines(window, IDC_COMMANDLIST);
    EXPECT_EQ(lines.size(), static_cast<size_t>(state->commandCount));
    for (size_t i = 0; i < lines.size(); ++i) {
        char head[8];
        wsprintfA(head, "%02d:", static_cast<int>(i));
        EXPECT_EQ(lines[i].compare(0, 3, head), 0) << lines[i];
    }
    int total = 0;
    for (const RecordArray &list : state->keyLists) total += list.count;
    EXPECT_EQ(total, kKeyEntryTotal);
    for (int i = 0; i < state->activeBindings.count; ++i) {
        const KeyEntry *e = KeyAt(state->activeBindings, i);
        EXPECT_GT(e->command, 0);
        EXPECT_LT(e->command, state->commandCount);
        snap.lines.push_back(std::to_string(e->modifiers) + "," + std::to_string(e->keyCode) + "," +
                             std::to_string(e->command));
    }
    snap.bindings = static_cast<size_t>(state->activeBindings.count);
    snap.lines.push_back(state->iconToTray ? "Icon2Tray" : "");
    return snap;
}

}  // namespace

// make soak runs a thousand cases (TAVOLIN_SETTINGS_CASES); make test a few.
TEST(RunebySettings, AnyFileStartsSaneAndASaveReadsBackTheSame) {
    const std::string good =
        "[Runeby]\r\nVersion=2.3(32)\r\nIcon2Tray=1\r\n[DDE]\r\nServiceName=Nobody\r\nTopicName=Command\r\n"
        "[Command]\r\nCount=10\r\n01=[Play()]\r\n02=[Pause()]\r\n04=[Top()]\r\n05=[SeekRel(-5000)]\r\n"
        "07=[Last()]\r\n10=[Close()]\r\n[Map]\r\nCount=7\r\n01=008,049,01\r\n02=008,050,02\r\n03=004,037,04\r\n"
        "04=000,179,05\r\n05=024,065,07\r\n06=028,126,10\r\n07=016,112,02\r\n";
    mt::StartOnDamagedSettings(&kRunebyProgram, good, 40, ReadRuneby);
}
