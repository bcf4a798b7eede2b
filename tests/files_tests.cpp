// File selection, path normalisation, the settings file and the recent list,
// with the real main window in-process.
#include <gtest/gtest.h>
#include "test_support.h"
#include "damaged_ini.h"
#include "in_process.h"
#include "media_fixture.h"
#include "dde/command_language.h"
#include "files/paths.h"
#include "files/recent_files.h"
#include "files/settings.h"
#include "files/file_select.h"
#include "media/media_session.h"
#include "app/commands.h"
#include "res/resource.h"
#include <functional>
#include <vector>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace {

TEST(Text, ParseDecimalAndFindChar) {
    struct Case { const char *text; int value; };
    const Case cases[] = {{"1 000", 1000}, {"--5", 0}, {"5-", 5}, {"-5000", -5000}, {"+7", 7}, {"", 0}, {"x", 0},
                          {"  12ab", 12}, {"-", 0}, {"4294967297", 1}, {"22050,16,2", 22050}, {" - 3", -3}};
    for (const Case &c : cases) EXPECT_EQ(ParseDecimal(c.text), c.value) << c.text;
    EXPECT_EQ(ParseDecimal(nullptr), 0);
    const char *text = "a,b,c";
    EXPECT_EQ(FindChar(text, ','), text + 1);
    EXPECT_EQ(FindChar(text + 2, ','), text + 3);
    EXPECT_EQ(FindChar(text, ';'), nullptr);
    char out[64];
    FormatTimeHms(out, 360000000);
    EXPECT_STREQ(out, "100:00:00");
    FormatTimeHmsCs(out, -1500);
    EXPECT_STREQ(out, "-00:00:01.50");
}

TEST(Paths, SpliceGrowsShrinksAndRespectsTheBuffer) {
    char path[MAX_PATH] = "C:\\PROGRA~1\\x.wav";
    ASSERT_TRUE(SpliceComponent(path + 3, "Program Files", MAX_PATH - 3));
    EXPECT_STREQ(path, "C:\\Program Files\\x.wav");
    ASSERT_TRUE(SpliceComponent(path + 3, "P", MAX_PATH - 3));
    EXPECT_STREQ(path, "C:\\P\\x.wav");
    // A name that would push the path past 259 bytes leaves it as it was.
    const std::string huge(300, 'n');
    EXPECT_FALSE(SpliceComponent(path + 3, huge.c_str(), MAX_PATH - 3));
    EXPECT_STREQ(path, "C:\\P\\x.wav");
    // DBCS: the trail byte 0x5C of a lead byte is no separator.
    char dbcs[MAX_PATH];
    lstrcpyA(dbcs, tt::Ansi("C:\\表\\x").c_str());
    EXPECT_EQ(FindLastBackslash(dbcs), dbcs + 5);
    ASSERT_TRUE(SpliceComponent(dbcs + 3, "long", MAX_PATH - 3));
    EXPECT_STREQ(dbcs, "C:\\long\\x");
}

TEST(Paths, WildcardComponentsAreNotLookedUp) {
    tt::TempDir dir;
    tt::WriteFileBytes(dir.File("longname_file.wav"), "x");
    const std::string wild = dir.path + "\\long*.wav";
    char out[MAX_PATH] = "";
    ExpandLongPath(wild.c_str(), out);
    EXPECT_EQ(std::string(out).substr(std::string(out).find_last_of('\\') + 1), "long*.wav");
}

TEST(Paths, RememberFolder) {
    tt::PlayerWindow pw;
    RememberFolder(pw.state(), "C:\\a.wav");
    EXPECT_STREQ(pw.state()->lastFolder, "C:");
    RememberFolder(pw.state(), "C:\\music\\b.wav");
    EXPECT_STREQ(pw.state()->lastFolder, "C:\\music");
    RememberFolder(pw.state(), "plain.wav");
    EXPECT_STREQ(pw.state()->lastFolder, "");
    RememberFolder(pw.state(), tt::Ansi("C:\\表\\c.wav").c_str());
    EXPECT_EQ(std::string(pw.state()->lastFolder), tt::Ansi("C:\\表"));
}

static bool MakeShortcut(const std::string &link, const std::string &target) {
    IShellLinkA *shell = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void **>(&shell))))
        return false;
    shell->SetPath(target.c_str());
    IPersistFile *file = nullptr;
    bool ok = SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&file)));
    if (ok) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
        ok = SUCCEEDED(file->Save(wide, TRUE));
        file->Release();
    }
    shell->Release();
    return ok;
}

class Files : public Media {
protected:
    static void SetUpTestSuite() { CoInitialize(nullptr); }
    static void TearDownTestSuite() { CoUninitialize(); }
};

TEST_F(Files, ResolvePathMakesAbsoluteLongAndFollowsOneShortcut) {
    const std::string folder = dir.File("Long Folder Name");
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string target = folder + "\\Long File Name.wav";
    tt::WriteWave(target, 500);
    char shortName[MAX_PATH] = "";
    ASSERT_TRUE(GetShortPathNameA(target.c_str(), shortName, sizeof shortName));
    ASSERT_NE(std::string(shortName), target);
    char path[MAX_PATH];
    lstrcpyA(path, shortName);
    ResolvePath(path);
    EXPECT_EQ(std::string(path), target);
    // Relative names are taken from the current folder.
    SetCurrentDirectoryA(folder.c_str());
    lstrcpyA(path, "Long File Name.wav");
    ResolvePath(path);
    EXPECT_EQ(std::string(path), target);
    // A shortcut gives its target; a shortcut to a shortcut only one step.
    const std::string link1 = dir.File("one.lnk"), link2 = dir.File("two.lnk");
    ASSERT_TRUE(MakeShortcut(link1, target));
    ASSERT_TRUE(MakeShortcut(link2, link1));
    lstrcpyA(path, link1.c_str());
    ResolvePath(path);
    EXPECT_EQ(std::string(path), target);
    lstrcpyA(path, link2.c_str());
    ResolvePath(path);
    EXPECT_EQ(std::string(path), link1);
    // A shortcut whose target is missing still gives the stored target.
    const std::string link3 = dir.File("three.lnk");
    ASSERT_TRUE(MakeShortcut(link3, dir.File("vanished.wav")));
    lstrcpyA(path, link3.c_str());
    ResolvePath(path);
    EXPECT_EQ(std::string(path), dir.File("vanished.wav"));
    // Opening the shortcut through the command line opens and remembers the target.
    s()->pendingCommandFile = link1.c_str();
    pw.Tick();
    EXPECT_EQ(s()->sessionState, StateOpened);
    EXPECT_EQ(std::string(s()->recentFiles.entries[0]), target);
    EXPECT_EQ(std::string(s()->lastFolder), folder);
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    SetCurrentDirectoryA(temp);
}

TEST(Recent, AddMovesToHeadDropsNinthAndBuildsTheMenu) {
    tt::PlayerWindow pw;
    PlayerState *s = pw.state();
    RecentFiles *list = &s->recentFiles;
    for (int i = 1; i <= 9; ++i) {
        char name[32];
        wsprintfA(name, "C:\\f%d.wav", i);
        RecentFilesAdd(list, name, s->fileMenu);
    }
    EXPECT_EQ(list->entryCount, 8);
    EXPECT_STREQ(list->entries[0], "C:\\f9.wav");
    EXPECT_STREQ(list->entries[7], "C:\\f2.wav");
    RecentFilesAdd(list, "c:\\F5.WAV", s->fileMenu);
    EXPECT_EQ(list->entryCount, 8);
    EXPECT_STREQ(list->entries[0], "c:\\F5.WAV");
    EXPECT_STREQ(list->entries[1], "C:\\f9.wav");
    EXPECT_STREQ(RecentFilesEntry(list, 8), "");
    EXPECT_STREQ(RecentFilesEntry(list, -1), "");
    // The menu: eight items in the placeholder's place, keys 1 to 8.
    HMENU file = s->fileMenu;
    char text[600];
    GetMenuStringA(file, IDM_MRU_FIRST, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "&1 c:\\F5.WAV");
    GetMenuStringA(file, IDM_MRU_LAST, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "&8 C:\\f2.wav");
    EXPECT_EQ(GetMenuItemID(file, 4), static_cast<UINT>(IDM_MRU_FIRST));
    EXPECT_EQ(GetMenuItemID(file, 11), static_cast<UINT>(IDM_MRU_LAST));
    EXPECT_FALSE(GetMenuState(file, IDM_MRU_FIRST, MF_BYCOMMAND) & MF_GRAYED);
    // Ampersands are doubled; long names are compacted to 50 characters.
    RecentFilesAdd(list, "C:\\Rock & Roll.wav", file);
    GetMenuStringA(file, IDM_MRU_FIRST, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "&1 C:\\Rock && Roll.wav");
    const std::string longName = "C:\\" + std::string(40, 'd') + "\\" + std::string(40, 'e') + ".wav";
    RecentFilesAdd(list, longName.c_str(), file);
    FormatRecentItem(list, 0, text);
    EXPECT_LE(lstrlenA(text), 3 + 50);
    list->noCompactPath = 1;
    FormatRecentItem(list, 0, text);
    EXPECT_EQ(std::string(text), "&1 " + longName);
}

TEST(Settings, DefaultsWithoutAFileAndAFullWriteAtClose) {
    std::string ini;
    {
        tt::PlayerWindow pw;
        ini = pw.state()->iniPath;
        PlayerState *s = pw.state();
        EXPECT_EQ(s->showErrors, 1);
        EXPECT_EQ(s->showHour, 1);
        EXPECT_EQ(s->restoreLastFile, 0);
        EXPECT_EQ(s->recentFiles.entryCount, 0);
        EXPECT_TRUE(GetMenuState(s->fileMenu, IDM_MRU_FIRST, MF_BYCOMMAND) & MF_GRAYED);
        pw.Close();
    }
    EXPECT_EQ(tt::ReadIni(ini, "Tavolin", "Version"), "2.3(32)");
    EXPECT_EQ(tt::ReadIni(ini, "Tavolin", "ShowError"), "1");
    EXPECT_EQ(tt::ReadIni(ini, "Tavolin", "Topmost"), "0");
    EXPECT_EQ(tt::ReadIni(ini, "LastFile", "Name"), "");
    EXPECT_EQ(tt::ReadIni(ini, "LastFile", "Pos"), "0");
    EXPECT_EQ(tt::ReadIni(ini, "DevParam", "SamplesPerSec"), "22050");
    EXPECT_EQ(tt::ReadIni(ini, "DevParam", "BitsPerSample"), "8");
    EXPECT_EQ(tt::ReadIni(ini, "DevParam", "Channels"), "1");
    EXPECT_EQ(tt::ReadIni(ini, "RecentFileList", "MRU1", "none"), "none");
    const std::string position = tt::ReadIni(ini, "Tavolin", "RestorePosition");
    EXPECT_EQ(position.substr(0, 2), "0,");
}

TEST(Settings, SwitchesAndTheLastFileAreReadAndWrittenBack) {
    const std::string ini = tt::PlayerWindow::SettingsPath();
    DeleteFileA(ini.c_str());
    tt::WriteFileBytes(ini,
        "[Tavolin]\r\nTopmost=1\r\nShowHour=0\r\nRepeatAll=1\r\nIcon2Tray=1\r\n"
        "[LastFile]\r\nPos=1234\r\nOffset=567\r\n[RecentFileList]\r\nNoCompactPath=1\r\n");
    {
        tt::PlayerWindow pw(true);
        PlayerState *s = pw.state();
        EXPECT_EQ(s->topmost, 1);
        EXPECT_EQ(s->lastFilePos, 1234);
        EXPECT_EQ(s->lastFileOffset, 567);
        EXPECT_EQ(s->recentFiles.noCompactPath, 1);
        tt::Pump(100);  // the posted Topmost command
        EXPECT_TRUE(GetWindowLongA(pw.window(), GWL_EXSTYLE) & WS_EX_TOPMOST);
        // Each switch turned over is written back at close.
        pw.Command(IDM_SHOWHOUR);
        pw.Command(IDM_REPEATALL);
        SendMessageA(pw.window(), WM_SYSCOMMAND, IDM_SYS_ICON2TRAY, 0);
        pw.Close();
    }
    EXPECT_EQ(tt::ReadIni(ini, "Tavolin", "Topmost"), "1");
    EXPECT_EQ(tt::ReadIni(ini, "Tavolin", "ShowHour"), "1");
    EXPECT_EQ(tt::ReadIni(ini, "Tavolin", "RepeatAll"), "0");
    EXPECT_EQ(tt::ReadIni(ini, "Tavolin", "Icon2Tray"), "0");
    DeleteFileA(ini.c_str());
}

TEST(Settings, RestorePositionMovesOnlyWithFlagAndTwoCommas) {
    const std::string ini = tt::PlayerWindow::SettingsPath();
    struct Case { const char *value; bool moves; };
    const Case cases[] = {{"1,100,200", true}, {"0,100,200", false}, {"1,100", false}, {"garbage", false}};
    for (const Case &c : cases) {
        DeleteFileA(ini.c_str());
        tt::WriteIni(ini, "Tavolin", "RestorePosition", c.value);
        tt::PlayerWindow pw(true);
        RECT r;
        GetWindowRect(pw.window(), &r);
        if (c.moves) {
            EXPECT_EQ(r.left, 100) << c.value;
            EXPECT_EQ(r.top, 200) << c.value;
            EXPECT_EQ(pw.state()->restorePosition, 1);
        } else {
            EXPECT_FALSE(r.left == 100 && r.top == 200) << c.value;
        }
    }
    // A window closed minimised records its restored position.
    DeleteFileA(ini.c_str());
    tt::WriteIni(ini, "Tavolin", "RestorePosition", "1,120,140");
    {
        tt::PlayerWindow pw(true);
        ShowWindow(pw.window(), SW_MINIMIZE);
        pw.Close();
    }
    EXPECT_EQ(tt::ReadIni(ini, "Tavolin", "RestorePosition"), "1,120,140");
}

TEST(Settings, ValuesRoundTripAndBadInputIsSurvived) {
    const std::string ini = tt::PlayerWindow::SettingsPath();
    DeleteFileA(ini.c_str());
    const std::string longValue(400, 'z');
    tt::WriteFileBytes(ini,
        "[Tavolin]\r\nShowError=0\r\nShowHour=0\r\nShowHour=1\r\nRepeatAll=1\r\nIcon2Tray=junk\r\n"
        "[LastFile]\r\nRestore=1\r\nName=" + longValue + "\r\nPos=-99999999999\r\n"
        "[DevParam]\r\nSamplesPerSec=48000\r\nBitsPerSample=24\r\nChannels=6\r\n"
        "[RecentFileList]\r\nMRU1=\r\nMRU2=C:\\second.wav\r\nMRU3=" + longValue + "\r\n\x01\x02garbage\r\n");
    {
        tt::PlayerWindow pw(true);
        PlayerState *s = pw.state();
        EXPECT_EQ(s->showErrors, 0);
        EXPECT_EQ(s->showHour, 0);  // the first of duplicate keys
        EXPECT_EQ(s->repeatAll, 1);
        EXPECT_EQ(s->iconToTray, 0);
        EXPECT_EQ(s->restoreLastFile, 1);
        EXPECT_LT(lstrlenA(s->lastFile), MAX_PATH);
        EXPECT_EQ(s->recordFormat.samplesPerSec, 48000u);
        EXPECT_EQ(s->recordFormat.bitsPerSample, 24);
        EXPECT_EQ(s->recordFormat.channels, 6);
        EXPECT_EQ(s->recentFiles.entryCount, 2);
        EXPECT_STREQ(s->recentFiles.entries[0], "C:\\second.wav");
        EXPECT_EQ(pw.Text(IDC_LENGTH), " 00000:00");
        s->lastFile[0] = '\0';
        pw.Close();
    }
    EXPECT_EQ(tt::ReadIni(ini, "DevParam", "SamplesPerSec"), "48000");
    EXPECT_EQ(tt::ReadIni(ini, "DevParam", "Channels"), "6");
    EXPECT_EQ(tt::ReadIni(ini, "RecentFileList", "MRU1"), "C:\\second.wav");
    EXPECT_EQ(tt::ReadIni(ini, "RecentFileList", "MRU3", "gone"), "gone");
    EXPECT_EQ(tt::ReadIni(ini, "Tavolin", "ShowError"), "0");
    // A settings file that cannot be written (a folder of that name: a
    // read-only file is no bar to root here): the program runs with its
    // defaults and closes as usual.
    DeleteFileA(ini.c_str());
    ASSERT_TRUE(CreateDirectoryA(ini.c_str(), nullptr));
    {
        tt::PlayerWindow pw(true);
        EXPECT_EQ(pw.state()->showErrors, 1);
        pw.Command(IDM_SHOWERROR);
        pw.Close();
        EXPECT_FALSE(IsWindow(pw.window()));
    }
    EXPECT_TRUE(GetFileAttributesA(ini.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    RemoveDirectoryA(ini.c_str());
}

TEST_F(Files, CloseRecordsTheOpenFileWithPositionAndZeroMark) {
    ASSERT_EQ(MediaOpen(w(), wave.c_str()), 1);
    MediaSeekTo(w(), 1500);
    MediaZero(w());
    MediaSeekTo(w(), 2500);
    s()->restoreLastFile = 1;
    pw.Close();
    const std::string ini = tt::PlayerWindow::SettingsPath();
    EXPECT_EQ(tt::ReadIni(ini, "LastFile", "Name"), wave);
    EXPECT_EQ(tt::ReadIni(ini, "LastFile", "Pos"), "2500");
    EXPECT_EQ(tt::ReadIni(ini, "LastFile", "Offset"), "1500");
    EXPECT_EQ(tt::ReadIni(ini, "LastFile", "Restore"), "1");
}

TEST_F(Files, FilterFollowsDecoderAndMciExtensions) {
    char filter[512];
    auto first = [&] { BuildFileFilter(w(), filter, sizeof filter); return std::string(filter); };
    // The system's own table is put back as it was, whatever happens here.
    struct Restore {
        char mp3[128] = "", wma[128] = "";
        bool hadMp3, hadWma;
        Restore() {
            hadMp3 = GetProfileStringA("mci extensions", "mp3", "\x01", mp3, sizeof mp3) && mp3[0] != 1;
            hadWma = GetProfileStringA("mci extensions", "wma", "\x01", wma, sizeof wma) && wma[0] != 1;
        }
        ~Restore() {
            WriteProfileStringA("mci extensions", "mp3", hadMp3 ? mp3 : nullptr);
            WriteProfileStringA("mci extensions", "wma", hadWma ? wma : nullptr);
        }
    } restore;
    WriteProfileStringA("mci extensions", "mp3", nullptr);
    WriteProfileStringA("mci extensions", "wma", "MPEGVideo");
    EXPECT_EQ(first(), "Wave files (*.wav)");  // WMA alone does not count
    s()->mp3Available = 1;
    EXPECT_EQ(first(), "Audio files (*.wav;*.mp3;*.wma)");
    WriteProfileStringA("mci extensions", "wma", nullptr);
    EXPECT_EQ(first(), "Wave or MP3 files (*.wav;*.mp3)");
    s()->mp3Available = 0;
    WriteProfileStringA("mci extensions", "mp3", "MPEGVideo");
    EXPECT_EQ(first(), "Wave or MP3 files (*.wav;*.mp3)");
    WriteProfileStringA("mci extensions", "mp3", nullptr);
    // The list is double-NUL terminated.
    BuildFileFilter(w(), filter, sizeof filter);
    const char *p = filter;
    int fields = 0;
    while (*p) { p += lstrlenA(p) + 1; ++fields; }
    EXPECT_EQ(fields, 4);
}

// Answers the file dialog this thread shows: types a name and presses OK, or cancels.
static std::string dialogName;
static std::wstring dialogWideName;  // typed instead, when set
static bool dialogSeen = false;
static VOID CALLBACK AnswerDialog(HWND, UINT, UINT_PTR, DWORD) {
    for (HWND box : tt::ProcessWindows(GetCurrentProcessId(), "#32770")) {
        if (!IsWindowVisible(box)) continue;
        dialogSeen = true;
        if (dialogName.empty()) {
            PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
            return;
        }
        HWND edit = GetDlgItem(box, 0x47C);  // the file name combo box
        if (!edit) edit = GetDlgItem(box, 0x480);
        if (dialogWideName.empty()) SetWindowTextA(edit, dialogName.c_str());
        else SetWindowTextW(edit, dialogWideName.c_str());
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
        dialogName.clear();
        return;
    }
}

static int RunDialog(std::function<int()> f, const std::string &name) {
    dialogName = name;
    dialogSeen = false;
    UINT_PTR timer = SetTimer(nullptr, 0, 300, AnswerDialog);
    const int result = f();
    KillTimer(nullptr, timer);
    return result;
}

TEST_F(Files, OpenDialogOpensTheTypedFileAndRestoresTheFolder) {
    char before[MAX_PATH];
    GetCurrentDirectoryA(sizeof before, before);
    EXPECT_EQ(RunDialog([&] { return ChooseFile(w(), 1, dir.path.c_str()); }, wave), 1);
    EXPECT_TRUE(dialogSeen);
    EXPECT_EQ(s()->sessionState, StateOpened);
    EXPECT_EQ(std::string(s()->lastFolder), dir.path);
    EXPECT_STREQ(s()->recentFiles.entries[0], wave.c_str());
    char after[MAX_PATH];
    GetCurrentDirectoryA(sizeof after, after);
    EXPECT_STREQ(after, before);
    // Cancel changes nothing.
    EXPECT_EQ(RunDialog([&] { return ChooseFile(w(), 1, nullptr); }, ""), 0);
    EXPECT_EQ(std::string(s()->currentFile), wave);
}

// A name typed bare is found in the folder the dialog starts in: the folder
// asked for, else the last folder chosen.
TEST_F(Files, OpenDialogStartsInTheFolderAskedForElseTheLastOne) {
    const std::string asked = dir.File("asked"), last = dir.File("last");
    for (const std::string &folder : {asked, last}) {
        CreateDirectoryA(folder.c_str(), nullptr);
        tt::WriteWave(folder + "\\same.wav", 500, 8000, 8, 1);
    }
    lstrcpynA(s()->lastFolder, last.c_str(), kPathSize);
    ASSERT_EQ(RunDialog([&] { return ChooseFile(w(), 1, asked.c_str()); }, "same.wav"), 1);
    EXPECT_EQ(std::string(s()->currentFile), asked + "\\same.wav");
    lstrcpynA(s()->lastFolder, last.c_str(), kPathSize);
    ASSERT_EQ(RunDialog([&] { return ChooseFile(w(), 1, nullptr); }, "same.wav"), 1);
    EXPECT_EQ(std::string(s()->currentFile), last + "\\same.wav");
}

TEST_F(Files, SaveDialogAddsTheDefaultExtension) {
    ASSERT_EQ(MediaOpenForRecord(w(), 11025, 8, 1), 1);
    ASSERT_EQ(MediaRecord(w()), 1);
    tt::Pump(300);
    ASSERT_EQ(MediaStopRecord(w()), 1);
    const std::string base = dir.File("typed");
    EXPECT_EQ(RunDialog([&] { return ChooseFile(w(), 0, dir.path.c_str()); }, base), 1);
    EXPECT_TRUE(tt::FileExists(base + ".wav"));
    EXPECT_EQ(s()->sessionState, StateClosed);
    EXPECT_EQ(std::string(s()->recentFiles.entries[0]), base + ".wav");
}

// An HDROP as the shell builds it, with ANSI names.
static HDROP MakeDrop(const std::vector<std::string> &names) {
    size_t size = sizeof(DROPFILES) + 1;
    for (const std::string &n : names) size += n.size() + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    DROPFILES *drop = static_cast<DROPFILES *>(GlobalLock(block));
    drop->pFiles = sizeof(DROPFILES);
    char *p = reinterpret_cast<char *>(drop + 1);
    for (const std::string &n : names) {
        memcpy(p, n.c_str(), n.size() + 1);
        p += n.size() + 1;
    }
    GlobalUnlock(block);
    return static_cast<HDROP>(block);
}

// A drop hands names over in UTF-16: one the code page cannot write opens by
// its short alias, shows its real name, and reopens from the recent list.
TEST_F(Files, ANameBeyondTheCodePageOpensByItsAliasFromADropAndTheRecentList) {
    pw.Command(IDM_SHOWERROR);  // a failed open only beeps
    const std::wstring real = tt::Wide(dir.path) + L"\\녹음 🎵.wav";
    ASSERT_TRUE(CopyFileW(tt::Wide(wave).c_str(), real.c_str(), FALSE));
    const size_t bytes = (real.size() + 2) * sizeof(WCHAR);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + bytes);
    DROPFILES *drop = static_cast<DROPFILES *>(GlobalLock(block));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(drop + 1, real.c_str(), (real.size() + 1) * sizeof(WCHAR));
    GlobalUnlock(block);
    OnDropFiles(w(), static_cast<HDROP>(block));
    ASSERT_EQ(s()->sessionState, StateOpened);
    const std::string alias = s()->currentFile;
    EXPECT_EQ(alias.find('?'), std::string::npos) << alias;
    WCHAR shown[MAX_PATH] = L"";
    GetDlgItemTextW(w(), IDC_FILENAME, shown, MAX_PATH);
    EXPECT_NE(std::wstring(shown).find(L"녹음 🎵.wav"), std::wstring::npos);
    EXPECT_EQ(std::string(s()->recentFiles.entries[0]), alias);
    MediaClose(w());
    pw.Command(IDM_MRU_FIRST);
    EXPECT_EQ(s()->sessionState, StateOpened);
    EXPECT_EQ(std::string(s()->currentFile), alias);
    // And from the open dialog.
    MediaClose(w());
    dialogWideName = real;
    EXPECT_EQ(RunDialog([&] { return ChooseFile(w(), 1, dir.path.c_str()); }, "typed"), 1);
    dialogWideName.clear();
    EXPECT_EQ(std::string(s()->currentFile), alias);
}

TEST_F(Files, DropOpensTheFirstThatOpensAndAFolderShowsTheDialog) {
    pw.Command(IDM_SHOWERROR);
    const std::string bad = dir.File("bad.wav");
    tt::WriteFileBytes(bad, "not a wave");
    OnDropFiles(w(), MakeDrop({bad, wave, shortWave}));
    EXPECT_EQ(std::string(s()->currentFile), wave);
    EXPECT_EQ(s()->recentFiles.entryCount, 1);
    // A folder first: the dialog opens there; after Cancel the file is opened.
    const std::string folder = dir.File("sub");
    CreateDirectoryA(folder.c_str(), nullptr);
    RunDialog([&] { return OnDropFiles(w(), MakeDrop({folder, shortWave})), 0; }, "");
    EXPECT_TRUE(dialogSeen);
    EXPECT_EQ(std::string(s()->currentFile), shortWave);
}

}  // namespace

namespace {

struct PlayerSnapshot {
    std::vector<int> flags;  // each as 0 or 1
    RECT where;
    std::vector<std::string> recent;
    RecordFormat format;
    bool operator==(const PlayerSnapshot &o) const {
        return flags == o.flags && EqualRect(&where, &o.where) && recent == o.recent &&
               format.samplesPerSec == o.format.samplesPerSec && format.bitsPerSample == o.format.bitsPerSample &&
               format.channels == o.format.channels;
    }
};

// What the window holds, checked for sense on the way: the window where the
// screen shows it, a recent-file list without gaps or overlong names, one
// menu item per entry.
PlayerSnapshot SnapPlayer(const tt::PlayerWindow &pw) {
    PlayerState *s = pw.state();
    PlayerSnapshot snap = {};
    for (int flag : {s->topmost, s->showErrors, s->showHour, s->repeatAll, s->iconToTray, s->restoreLastFile,
                     s->restorePosition})
        snap.flags.push_back(flag != 0);
    GetWindowRect(pw.window(), &snap.where);
    RECT screen = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
    screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    RECT seen;
    EXPECT_TRUE(IntersectRect(&seen, &snap.where, &screen) && EqualRect(&seen, &snap.where))
        << snap.where.left << "," << snap.where.top;
    const RecentFiles &list = s->recentFiles;
    EXPECT_GE(list.entryCount, 0);
    EXPECT_LE(list.entryCount, kRecentMax);
    for (int i = 0; i < list.entryCount; ++i) {
        EXPECT_GT(lstrlenA(list.entries[i]), 0);
        EXPECT_LT(lstrlenA(list.entries[i]), kPathSize);
        snap.recent.push_back(list.entries[i]);
    }
    HMENU file = GetSubMenu(GetMenu(pw.window()), 0);
    int items = 0;
    for (int id = IDM_MRU_FIRST; id < IDM_MRU_FIRST + kRecentMax; ++id)
        if (GetMenuState(file, id, MF_BYCOMMAND) != static_cast<UINT>(-1)) ++items;
    EXPECT_EQ(items, list.entryCount ? list.entryCount : 1);
    snap.format = s->recordFormat;
    return snap;
}

void ClosePlayer(void *pw) { static_cast<tt::PlayerWindow *>(pw)->Close(); }

}  // namespace

// make soak runs a thousand cases (TAVOLIN_SETTINGS_CASES); make test a few.
TEST(SettingsFiles, AnyFileStartsTheWindowSaneAndACloseSavesWhatReadsBackTheSame) {
    const std::string path = tt::PlayerWindow::SettingsPath();
    const std::string good =
        "[Tavolin]\r\nVersion=2.3(32)\r\nTopmost=0\r\nShowError=0\r\nShowHour=1\r\nRepeatAll=1\r\n"
        "RestorePosition=1,100,200\r\nIcon2Tray=0\r\n[LastFile]\r\nRestore=0\r\nName=C:\\a.wav\r\nPos=1000\r\n"
        "Offset=0\r\n[DevParam]\r\nSamplesPerSec=44100\r\nBitsPerSample=16\r\nChannels=2\r\n"
        "[RecentFileList]\r\nMRU1=C:\\a.wav\r\nMRU2=C:\\b & c.wav\r\nMRU3=D:\\x.mp3\r\nNoCompactPath=0\r\n";
    const unsigned first = tt::FirstSeed();
    for (unsigned seed = first; seed < first + tt::SeedCount(30); ++seed) {
        SCOPED_TRACE("settings seed " + std::to_string(seed) + " (TAVOLIN_SETTINGS_SEED reruns it)");
        tt::IniCase kind;
        const std::string text = tt::DamagedIni(good, seed, &kind);
        HANDLE lock = tt::PlaceIni(path, text, kind);
        PlayerSnapshot before;
        {
            const DWORD start = GetTickCount();
            tt::PlayerWindow pw(true);
            EXPECT_LT(GetTickCount() - start, 10000u);  // minutes when read key by key; seconds on a busy machine
            ASSERT_TRUE(IsWindowVisible(pw.window()));
            before = SnapPlayer(pw);
            if (lock) CloseHandle(lock);
            tt::DismissingBoxes(ClosePlayer, &pw);
        }
        if (kind == tt::IniCase::Locked) continue;
        if (kind != tt::IniCase::Folder) {
            EXPECT_EQ(tt::ReadIni(path, "Tavolin", "Version"), "2.3(32)");
            for (const char *key : {"Topmost", "ShowError", "ShowHour", "RepeatAll", "Icon2Tray"}) {
                const std::string value = tt::ReadIni(path, "Tavolin", key);
                EXPECT_TRUE(value == "0" || value == "1") << key << "=" << value;
            }
        }
        tt::PlayerWindow again(true);
        EXPECT_TRUE(SnapPlayer(again) == before);
        if (HasFatalFailure()) return;
    }
    tt::RemoveIni(path);
}

namespace {

std::string Bindings(int count, int command) {
    std::string text = "[Runeby]\r\nVersion=1.0\r\nIcon2Tray=0\r\n[Map]\r\n";
    for (int n = 1; n <= count; ++n) {
        char line[40];
        wsprintfA(line, "%02d=000,%03d,%02d\r\n", n, n % 256, command);
        text += line;
    }
    return text + "Count=" + std::to_string(count) + "\r\n";
}

BOOL WriteBindings(const std::string &path, int count, int command) {
    SettingsUpdate file(path.c_str());
    for (int n = 1; n <= count; ++n) {
        char key[8], value[16];
        wsprintfA(key, "%02d", n);
        wsprintfA(value, "000,%03d,%02d", n % 256, command);
        file.Write("Map", key, value);
    }
    file.Write("Map", "Count", std::to_string(count).c_str());
    return file.Commit();
}

}  // namespace

// A settings file that cannot be written keeps every byte it had: read-only,
// or on a disk with less room than the file, where the profile functions
// would have cut it short and said they succeeded.
TEST(SettingsFiles, AFullDiskOrAReadOnlyFileLeavesTheFileWhole) {
    tt::TempDir dir;
    const std::string readOnly = dir.File("Runeby.ini");
    tt::WriteFileBytes(readOnly, Bindings(20, 1));
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(WriteBindings(readOnly, 20, 2));
    EXPECT_TRUE(tt::ReadFileText(readOnly) == Bindings(20, 1));
    EXPECT_FALSE(tt::FileExists(readOnly + ".new"));
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);

    const std::string drive = tt::SmallDrive();
    if (drive.empty()) GTEST_SKIP() << "no small drive to fill (the runner mounts one where it may)";
    // Room for a copy of the file (one page), not for the bindings added.
    const std::string path = drive + "\\Runeby.ini";
    tt::WriteFileBytes(path, Bindings(20, 1));
    {
        tt::DriveFiller full(drive, 4096);
        EXPECT_FALSE(WriteBindings(path, 400, 2));
        EXPECT_TRUE(tt::ReadFileText(path) == Bindings(20, 1));
        EXPECT_FALSE(tt::FileExists(path + ".new"));
    }
    EXPECT_TRUE(WriteBindings(path, 400, 2));
    EXPECT_EQ(tt::ReadIni(path, "Map", "400"), "000,144,02");
    EXPECT_EQ(tt::ReadIni(path, "Map", "Count"), "400");
    EXPECT_FALSE(tt::FileExists(path + ".new"));
    DeleteFileA(path.c_str());
}
