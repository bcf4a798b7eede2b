// The tray icon and the recording format dialog, with the real main window in-process.
#include <gtest/gtest.h>
#include <functional>
#include "test_support.h"
#include "in_process.h"
#include "app/tray.h"
#include "app/commands.h"
#include "dialogs/record_format.h"
#include "res/resource.h"

namespace {

TEST(DataRate, PresetsAndMixedChoices) {
    struct Case { DWORD rate; WORD bits, channels; const char *second, *hour; };
    const Case cases[] = {{11025, 8, 1, "10 KB/sec", "37 MB/hour"}, {22050, 8, 1, "21 KB/sec", "75 MB/hour"},
                          {44100, 16, 2, "172 KB/sec", "605 MB/hour"}, {44100, 16, 1, "86 KB/sec", "302 MB/hour"},
                          {11025, 16, 2, "43 KB/sec", "151 MB/hour"}};
    for (const Case &c : cases) {
        char second[32], hour[32];
        FormatDataRate(RecordFormat{c.rate, c.bits, c.channels}, second, hour);
        EXPECT_STREQ(second, c.second) << c.rate;
        EXPECT_STREQ(hour, c.hour) << c.rate;
    }
}

// Runs the dialog with `format`, letting `drive` act on it once it is up.
struct DialogRun {
    std::function<void(HWND)> drive;
    bool driven = false;
};
DialogRun *activeRun = nullptr;

VOID CALLBACK DriveDialog(HWND, UINT, UINT_PTR, DWORD) {
    if (!activeRun || activeRun->driven) return;
    for (HWND box : tt::ProcessWindows(GetCurrentProcessId(), "#32770")) {
        if (!IsWindowVisible(box) || !GetDlgItem(box, IDC_RATE_11K)) continue;
        activeRun->driven = true;
        activeRun->drive(box);
        return;
    }
}

INT_PTR RunFormatDialog(HWND owner, RecordFormat *format, std::function<void(HWND)> drive) {
    DialogRun run{std::move(drive)};
    activeRun = &run;
    UINT_PTR timer = SetTimer(nullptr, 0, 100, DriveDialog);
    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_RECORDFORMAT), owner,
                                           RecordFormatDialogProc, reinterpret_cast<LPARAM>(format));
    KillTimer(nullptr, timer);
    activeRun = nullptr;
    return result;
}

bool Checked(HWND box, int id) { return IsDlgButtonChecked(box, id) == BST_CHECKED; }

TEST(FormatDialog, OddStoredValuesShowDefaultsAndOkStoresWhatIsShown) {
    tt::PlayerWindow pw;
    RecordFormat format{48000, 24, 6};
    std::string second, hour, caption;
    bool rate22 = false, bits8 = false, mono = false;
    EXPECT_EQ(RunFormatDialog(pw.window(), &format, [&](HWND box) {
        rate22 = Checked(box, IDC_RATE_22K);
        bits8 = Checked(box, IDC_BITS_8);
        mono = Checked(box, IDC_MONO);
        second = tt::ControlText(box, IDC_RATE_PER_SEC);
        hour = tt::ControlText(box, IDC_RATE_PER_HOUR);
        caption = tt::WindowText(box);
        tt::PressButton(box, IDOK);
    }), IDOK);
    EXPECT_TRUE(rate22 && bits8 && mono);
    EXPECT_EQ(second, "21 KB/sec");
    EXPECT_EQ(hour, "75 MB/hour");
    EXPECT_EQ(caption, tt::Ansi("ﾃﾞﾊﾞｲｽﾊﾟﾗﾒｰﾀ"));
    EXPECT_EQ(format.samplesPerSec, 22050u);
    EXPECT_EQ(format.bitsPerSample, 8);
    EXPECT_EQ(format.channels, 1);
}

TEST(FormatDialog, StoredValuesAreTheInitialChoices) {
    tt::PlayerWindow pw;
    struct Case {
        RecordFormat format;
        int rate, bits, channels;
    } cases[] = {{{11025, 16, 2}, IDC_RATE_11K, IDC_BITS_16, IDC_STEREO},
                 {{44100, 8, 1}, IDC_RATE_44K, IDC_BITS_8, IDC_MONO}};
    for (Case &c : cases) {
        bool shown = false;
        RecordFormat before = c.format;
        EXPECT_EQ(RunFormatDialog(pw.window(), &c.format, [&](HWND box) {
            shown = Checked(box, c.rate) && Checked(box, c.bits) && Checked(box, c.channels);
            tt::PressButton(box, IDOK);
        }), IDOK);
        EXPECT_TRUE(shown) << before.samplesPerSec;
        EXPECT_EQ(c.format.samplesPerSec, before.samplesPerSec);
        EXPECT_EQ(c.format.bitsPerSample, before.bitsPerSample);
        EXPECT_EQ(c.format.channels, before.channels);
    }
}

TEST(FormatDialog, PresetThenCancelStoresNothing) {
    tt::PlayerWindow pw;
    RecordFormat format{48000, 24, 6};
    std::string second;
    EXPECT_EQ(RunFormatDialog(pw.window(), &format, [&](HWND box) {
        SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDC_PRESET_CD, BN_CLICKED), 0);
        second = tt::ControlText(box, IDC_RATE_PER_SEC);
        tt::PressButton(box, IDCANCEL);
    }), IDCANCEL);
    EXPECT_EQ(second, "172 KB/sec");
    EXPECT_EQ(format.samplesPerSec, 48000u);
    EXPECT_EQ(format.channels, 6);
}

TEST(FormatDialog, PresetsRadioChangesAndTheNewCommand) {
    tt::PlayerWindow pw;
    PlayerState *s = pw.state();
    std::string phone, after;
    bool exclusive = false;
    s->recordFormat = RecordFormat{44100, 16, 2};
    std::function<void(HWND)> drive = [&](HWND box) {
        SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDC_PRESET_PHONE, BN_CLICKED), 0);
        phone = tt::ControlText(box, IDC_RATE_PER_HOUR);
        exclusive = Checked(box, IDC_RATE_11K) && !Checked(box, IDC_RATE_44K) && Checked(box, IDC_MONO);
        // A click on a radio button of a group, as the keyboard or mouse makes it.
        SendMessageA(GetDlgItem(box, IDC_BITS_16), BM_CLICK, 0, 0);
        after = tt::ControlText(box, IDC_RATE_PER_SEC);
        tt::PressButton(box, IDOK);
    };
    activeRun = nullptr;
    DialogRun run{drive};
    activeRun = &run;
    UINT_PTR timer = SetTimer(nullptr, 0, 100, DriveDialog);
    pw.Command(IDM_NEW);
    KillTimer(nullptr, timer);
    activeRun = nullptr;
    EXPECT_EQ(phone, "37 MB/hour");
    EXPECT_TRUE(exclusive);
    EXPECT_EQ(after, "21 KB/sec");
    EXPECT_EQ(s->recordFormat.samplesPerSec, 11025u);
    EXPECT_EQ(s->recordFormat.bitsPerSample, 16);
    EXPECT_EQ(s->sessionState, StateRecordReady);
    EXPECT_EQ(pw.Text(IDC_FILENAME), tt::Ansi("新規"));
}

// The dialog opens centred over the player, wherever it stands. (Message
// boxes place themselves after their WM_INITDIALOG: under Wine, mid-screen.)
TEST(FormatDialog, OpensCentredOverThePlayer) {
    tt::PlayerWindow pw;
    HWND w = pw.window();
    SetWindowPos(w, nullptr, 60, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    auto centre = [](HWND h) {
        RECT r;
        GetWindowRect(h, &r);
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    };
    const POINT owner = centre(w);
    POINT seen = {-1, -1};
    DialogRun run{[&](HWND box) {
        seen = centre(box);
        tt::PressButton(box, IDCANCEL);
    }};
    activeRun = &run;
    UINT_PTR timer = SetTimer(nullptr, 0, 100, DriveDialog);
    pw.Command(IDM_NEW);
    KillTimer(nullptr, timer);
    activeRun = nullptr;
    EXPECT_NEAR(seen.x, owner.x, 1);
    EXPECT_NEAR(seen.y, owner.y, 1);
}

TEST(Tray, SendShowsIconOrStaysMinimisedAndRestores) {
    tt::PlayerWindow pw;
    HWND w = pw.window();
    PlayerState *s = pw.state();
    SendMessageA(w, WM_SYSCOMMAND, IDM_SYS_TOTRAY, 0);
    tt::Pump(100);
    if (!s->inTray) {
        // No notification area: the window stays minimised on the taskbar,
        // and the rest cannot be tried.
        EXPECT_TRUE(IsIconic(w));
        EXPECT_TRUE(IsWindowVisible(w));
        GTEST_SKIP() << "the shell refused the tray icon";
    }
    {
        EXPECT_FALSE(IsWindowVisible(w));
        EXPECT_TRUE(IsIconic(w));
        // The name, and the times once a tick has run (a busy machine may
        // have run one already).
        EXPECT_EQ(std::string(s->trayIcon.szTip).substr(0, 17), "tray_dialog_tests");
        pw.Tick();
        EXPECT_EQ(std::string(s->trayIcon.szTip), "tray_dialog_tests  00:00:00.00  00:00:00.00");
        // The tray menu shows the restore item as its default.
        HMENU menu = GetSubMenu(s->trayMenu, 0);
        UpdateMenuStates(w, menu, 0, FALSE);
        EXPECT_TRUE(GetMenuState(menu, IDM_TRAY_RESTORE, MF_BYCOMMAND) & MFS_DEFAULT);
        // A second send does nothing; the double click restores.
        SendMessageA(w, WM_SYSCOMMAND, IDM_SYS_TOTRAY, 0);
        EXPECT_EQ(s->inTray, 1);
        SendMessageA(w, WM_TRAYICON, 1, WM_LBUTTONDBLCLK);
        tt::Pump(100);
        EXPECT_EQ(s->inTray, 0);
        EXPECT_TRUE(IsWindowVisible(w));
        EXPECT_FALSE(IsIconic(w));
    }
}

TEST(Tray, MinimiseGoesToTrayWhenAskedAndTheTipIsCut) {
    tt::PlayerWindow pw;
    HWND w = pw.window();
    PlayerState *s = pw.state();
    // Turning the switch on while minimised sends the window at once.
    ShowWindow(w, SW_MINIMIZE);
    tt::Pump(50);
    SendMessageA(w, WM_SYSCOMMAND, IDM_SYS_ICON2TRAY, 0);
    EXPECT_EQ(s->iconToTray, 1);
    tt::Pump(200);
    if (!s->inTray) GTEST_SKIP() << "the shell refused the tray icon";
    EXPECT_FALSE(IsWindowVisible(w));
    pw.Command(IDM_TRAY_RESTORE);
    EXPECT_EQ(s->inTray, 0);
    // With the switch on, a plain minimise ends in the tray.
    ShowWindow(w, SW_MINIMIZE);
    tt::Pump(200);
    EXPECT_EQ(s->inTray, 1);
    HMENU system = GetSystemMenu(w, FALSE);
    UpdateMenuStates(w, system, 0, TRUE);
    EXPECT_TRUE(GetMenuState(system, IDM_SYS_ICON2TRAY, MF_BYCOMMAND) & MF_CHECKED);
    // A long program name: the tip keeps 63 characters.
    lstrcpyA(s->appName, std::string(100, 'N').c_str());
    RefreshTrayTip(w);
    EXPECT_EQ(lstrlenA(s->trayIcon.szTip), 63);
    pw.Command(IDM_TRAY_RESTORE);
}

}  // namespace
