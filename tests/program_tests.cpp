// The real Tavolin.exe, started from a temporary folder.
#include <gtest/gtest.h>
#include "player_process.h"
#include "test_support.h"
#include "damaged_ini.h"
#include "res/resource.h"

TEST(Program, StartsAndExitsCleanly) {
    tt::TempDir dir;
    const std::string exe = tt::Stage(dir, "Tavolin.exe", "Tavolin.exe");
    tt::Program player;
    ASSERT_TRUE(tt::Start(player, exe, ""));
    EXPECT_EQ(tt::WindowText(player.window), "Tavolin");
    EXPECT_EQ(tt::ControlText(player.window, IDC_POSITION), " 00:00:00.00");
    EXPECT_TRUE(player.Close());
    // The settings are written at close, beside the executable.
    EXPECT_EQ(tt::ReadIni(dir.File("Tavolin.ini"), "Tavolin", "Version"), "2.3(32)");
}

TEST(Program, SecondStartActivatesFirstAndExits) {
    tt::TempDir dir;
    const std::string exe = tt::Stage(dir, "Tavolin.exe", "Tavolin.exe");
    const std::string wave = dir.File("a.wav");
    tt::WriteWave(wave, 2000);
    tt::Program first;
    ASSERT_TRUE(tt::Start(first, exe, ""));
    ShowWindow(first.window, SW_MINIMIZE);
    ASSERT_TRUE(tt::WaitUntil([&] { return IsIconic(first.window) != 0; }, 3000));
    tt::Program second;
    ASSERT_TRUE(tt::StartProcess(second, "\"" + exe + "\" " + wave));
    EXPECT_EQ(second.WaitExit(10000), 0);
    EXPECT_TRUE(tt::WaitUntil([&] { return !IsIconic(first.window); }, 3000));
    // The argument of the second start was dropped.
    tt::Pump(400);
    EXPECT_EQ(tt::ControlText(first.window, IDC_FILENAME), "");
    EXPECT_TRUE(first.Close());
}

TEST(Program, RenamedExecutableKeepsClassAndMutex) {
    tt::TempDir dir;
    const std::string exe = tt::Stage(dir, "Tavolin.exe", "Zither.exe");
    tt::Program player;
    ASSERT_TRUE(tt::Start(player, exe, ""));
    EXPECT_EQ(tt::WindowText(player.window), "Zither");
    // The original name still finds the running one through the mutex.
    const std::string original = tt::Stage(dir, "Tavolin.exe", "Tavolin.exe");
    tt::Program second;
    ASSERT_TRUE(tt::StartProcess(second, "\"" + original + "\""));
    EXPECT_EQ(second.WaitExit(10000), 0);
    EXPECT_TRUE(player.Close());
    EXPECT_TRUE(tt::FileExists(dir.File("Zither.ini")));
    EXPECT_FALSE(tt::FileExists(dir.File("Tavolin.ini")));
    // A name whose trail byte is '\\' in the code page (表 is 0x95 0x5C).
    const std::string table = tt::Stage(dir, "Tavolin.exe", tt::Ansi("表.exe"));
    tt::Program third;
    ASSERT_TRUE(tt::Start(third, table, ""));
    EXPECT_EQ(tt::WindowText(third.window), tt::Ansi("表"));
    EXPECT_TRUE(third.Close());
    EXPECT_TRUE(tt::FileExists(dir.File(tt::Ansi("表.ini"))));
}

// The player ends cleanly from every state, also while it records (Wine's
// waveaudio record thread must be done before the process ends). make soak
// repeats it (TAVOLIN_END_ROUNDS).
class ProgramEnd : public PlayerProcess {};

TEST_F(ProgramEnd, FromEveryState) {
    const char *asked = getenv("TAVOLIN_END_ROUNDS");
    const int rounds = asked ? atoi(asked) : 1;
    const std::string wave = dir.File("tone.wav");
    tt::WriteWave(wave, 20000);
    const std::string open = "[Open(" + wave + ")]";
    const std::vector<std::vector<std::string>> states = {
        {},
        {open},
        {open, "[Play()]"},
        {open, "[Play()]", "[Pause()]"},
        {"[OpenForRecord(11025,8,1)]"},
        {"[OpenForRecord(11025,8,1)]", "[Record()]"},
        {"[OpenForRecord(11025,8,1)]", "[Record()]", "[Top()]"},
        {"[OpenForRecord(11025,8,1)]", "[Record()]", "[StopRecord()]"},
    };
    for (int round = 0; round < rounds; ++round) {
        for (size_t s = 0; s < states.size(); ++s) {
            StartPlayer();
            for (size_t c = 0; c < states[s].size(); ++c) {
                EXPECT_EQ(Exec(states[s][c]), DdeOutcome::Done) << states[s][c];
                if (c + 1 < states[s].size()) tt::Pump(200);  // the last one is closed on at once
            }
            EXPECT_TRUE(player.Close()) << "state " << s << ", round " << round;
            CloseHandle(player.info.hProcess);
            CloseHandle(player.info.hThread);
            player.info = {};
            player.window = nullptr;
        }
    }
}

// A sample of the damaged settings files the in-process runs use, on the
// real program: its window soon (a settings file read key by key took
// minutes at 10 MB; a busy machine may take a few seconds), and a clean end.
constexpr DWORD kStartLimitMs = 10000;

TEST(Program, StartsFromDamagedSettingsFiles) {
    tt::TempDir dir;
    const std::string exe = tt::Stage(dir, "Tavolin.exe", "Tavolin.exe");
    const std::string ini = dir.File("Tavolin.ini");
    const std::string good =
        "[Tavolin]\r\nVersion=2.3(32)\r\nShowError=0\r\nRestorePosition=1,100,200\r\n[LastFile]\r\nRestore=1\r\n"
        "Name=C:\\none.wav\r\n[DevParam]\r\nSamplesPerSec=44100\r\n[RecentFileList]\r\nMRU1=C:\\a.wav\r\n";
    for (unsigned seed : {1u, 2u, 3u, 13u, 29u, 61u}) {
        SCOPED_TRACE("settings seed " + std::to_string(seed));
        tt::IniCase kind;
        const std::string text = tt::DamagedIni(good, seed, &kind);
        HANDLE lock = tt::PlaceIni(ini, text, kind);
        tt::Program player;
        const DWORD start = GetTickCount();
        ASSERT_TRUE(tt::Start(player, exe, "", "TavolinWndClass", kStartLimitMs));
        EXPECT_LT(GetTickCount() - start, kStartLimitMs);
        if (lock) CloseHandle(lock);
        // A clean end, however long the settings take to write (each key
        // rewrites a 10 MB file: over 5 s on a slow disk).
        EXPECT_TRUE(player.Close(60000));
    }
}

// A name the code page cannot write, given on the command line (in full only
// through the UTF-16 command line), opens by its short alias, which the
// recent-file list keeps; the window shows the real name.
TEST_F(ProgramEnd, ANameBeyondTheCodePageOnTheCommandLineOpensByItsAlias) {
    const std::string wave = dir.File("tone.wav");
    tt::WriteWave(wave, 3000);
    const std::wstring real = tt::Wide(dir.path) + L"\\녹음 🎵.wav";
    ASSERT_TRUE(CopyFileW(tt::Wide(wave).c_str(), real.c_str(), FALSE));
    exe = tt::Stage(dir, "Tavolin.exe", "Tavolin.exe");
    tt::WriteIni(dir.File("Tavolin.ini"), "Tavolin", "ShowError", "0");
    std::wstring line = L"\"" + tt::Wide(exe) + L"\" " + real;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &player.info));
    player.window = tt::WaitForWindow("TavolinWndClass", player.info.dwProcessId, 15000);
    ASSERT_TRUE(player.window);
    service = "Tavolin";
    ASSERT_TRUE(tt::WaitUntil([&] { return Get("GetLen") == "3000"; }, 5000));
    WCHAR shown[MAX_PATH] = L"";
    GetDlgItemTextW(player.window, IDC_FILENAME, shown, MAX_PATH);
    EXPECT_NE(std::wstring(shown).find(L"녹음 🎵.wav"), std::wstring::npos);
    EXPECT_TRUE(player.Close());
    const std::string alias = tt::ReadIni(dir.File("Tavolin.ini"), "RecentFileList", "MRU1");
    EXPECT_EQ(alias.find('?'), std::string::npos) << alias;
    EXPECT_EQ(GetFileAttributesA(alias.c_str()), GetFileAttributesW(real.c_str()));
}

// Each program carries the manifest that makes it right on Windows 10 and 11.
TEST(Program, EveryProgramCarriesItsManifest) {
    for (const char *name : {"Tavolin.exe", "Runeby.exe", "Padwig.exe", "TavolinCtl.exe"}) {
        HMODULE module = LoadLibraryExA((tt::BinDir() + "\\" + name).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_TRUE(module) << name;
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
        const char *bytes = found ? static_cast<const char *>(LockResource(LoadResource(module, found))) : nullptr;
        const std::string manifest = bytes ? std::string(bytes, SizeofResource(module, found)) : "";
        for (const char *part : {"level=\"asInvoker\"", "Microsoft.Windows.Common-Controls", ">true</dpiAware>",
                                 "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
            EXPECT_NE(manifest.find(part), std::string::npos) << name << " " << part;
        FreeLibrary(module);
    }
}
