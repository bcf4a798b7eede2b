// The main window created in-process: layout, menus, displays, lifetime.
#include <gtest/gtest.h>
#include "test_support.h"
#include "host_system.h"
#include "window_place.h"
#include "media/media_session.h"
#include <mmsystem.h>
#include "in_process.h"
#include "app/main_window.h"
#include "app/displays.h"
#include "res/resource.h"

using tt::Ansi;

TEST(Spine, CodePageIs932) { EXPECT_EQ(GetACP(), 932u); }

TEST(Spine, InitialWindow) {
    tt::PlayerWindow pw;
    HWND w = pw.window();
    ASSERT_TRUE(w);
    PlayerState *s = pw.state();
    ASSERT_TRUE(s);
    EXPECT_EQ(pw.Text(IDC_LENGTH), " 00:00:00.00");
    EXPECT_EQ(pw.Text(IDC_POSITION), " 00:00:00.00");
    EXPECT_EQ(pw.Text(IDC_FILENAME), "");
    EXPECT_EQ(s->sessionState, StateClosed);
    EXPECT_EQ(s->scrollScale, 1);
    EXPECT_EQ(s->refreshTimerId, reinterpret_cast<UINT_PTR>(w));
    EXPECT_EQ(s->recordFormat.samplesPerSec, 22050u);
    EXPECT_EQ(s->recordFormat.bitsPerSample, 8);
    EXPECT_EQ(s->recordFormat.channels, 1);
    for (int id = IDC_MARK; id <= IDC_ZERO; ++id) EXPECT_FALSE(IsWindowEnabled(GetDlgItem(w, id))) << id;
    // The caption and settings file follow the executable's name.
    EXPECT_EQ(tt::WindowText(w), "spine_tests");
    EXPECT_EQ(std::string(s->appName), "spine_tests");
    EXPECT_EQ(std::string(s->iniPath), tt::PlayerWindow::SettingsPath());
    // The record's address is pointer-sized at DLGWINDOWEXTRA.
    EXPECT_EQ(GetClassLongPtrA(w, GCL_CBWNDEXTRA), static_cast<LONG_PTR>(DLGWINDOWEXTRA + sizeof(LONG_PTR)));
    EXPECT_EQ(reinterpret_cast<PlayerState *>(GetWindowLongPtrA(w, DLGWINDOWEXTRA)), s);
    // Both icons are the ones loaded, the small one at its own size.
    EXPECT_EQ(SendMessageA(w, WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(s->largeIcon));
    EXPECT_EQ(SendMessageA(w, WM_GETICON, ICON_SMALL, 0), reinterpret_cast<LRESULT>(s->smallIcon));
}

TEST(Spine, ControlsInTemplateOrderWithLayout) {
    tt::PlayerWindow pw;
    HWND w = pw.window();
    // Ids in z-order = template order; -1 is a black frame.
    const int expected[] = {-1, 1001, -1, 1002, 1000, -1, 1003, 1004, 1005, 1008, 1006, 1009, 1010, 1007, 1011, 1012, 1013};
    int i = 0;
    for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT), ++i) {
        ASSERT_LT(i, 17);
        EXPECT_EQ(static_cast<int>(static_cast<short>(GetDlgCtrlID(c))), expected[i]) << i;
        if (expected[i] == -1) {
            EXPECT_EQ(GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK, SS_BLACKFRAME);
        }
    }
    EXPECT_EQ(i, 17);
    // Positions in dialog units, converted as the dialog manager does.
    RECT r = {5, 13, 5 + 193, 13 + 10};
    MapDialogRect(w, &r);
    RECT bar;
    GetWindowRect(GetDlgItem(w, IDC_POSITION_BAR), &bar);
    MapWindowPoints(nullptr, w, reinterpret_cast<POINT *>(&bar), 2);
    EXPECT_EQ(bar.left, r.left);
    EXPECT_EQ(bar.right - bar.left, r.right - r.left);
    EXPECT_EQ(tt::ControlText(w, IDC_PLAY), Ansi("再生"));
    EXPECT_EQ(tt::ControlText(w, IDC_RELATIVE), Ansi("相対"));
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(w, IDC_POSITION_BAR), GWL_STYLE) & WS_TABSTOP);
    EXPECT_FALSE(GetWindowLongA(GetDlgItem(w, IDC_MARK), GWL_STYLE) & WS_TABSTOP);
    const LONG style = GetWindowLongA(w, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
}

static std::string MenuText(HMENU menu, UINT position) {
    char text[256] = "";
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

TEST(Spine, MainMenuItemsAndIds) {
    tt::PlayerWindow pw;
    HMENU bar = GetMenu(pw.window());
    ASSERT_EQ(GetMenuItemCount(bar), 3);
    EXPECT_EQ(MenuText(bar, 0), Ansi("ﾌｧｲﾙ(&F)"));
    EXPECT_EQ(MenuText(bar, 1), Ansi("編集(&E)"));
    EXPECT_EQ(MenuText(bar, 2), Ansi("表示(&V)"));
    struct Item { int popup; int id; const char *text; };
    const Item items[] = {
        {0, IDM_OPEN, "開く(&O)...\tCtrl+O"}, {0, IDM_NEW, "新規作成(&N)...\tCtrl+N"},
        {0, IDM_SAVEAS, "名前を付けて保存(&A)...\tCtrl+A"}, {0, 0, nullptr},
        {0, IDM_MRU_FIRST, "最近開いたファイル"}, {0, 0, nullptr},
        {0, IDM_RESTOREPOSITION, "ｳｨﾝﾄﾞｳ位置を記憶・復元(&R)"}, {0, IDM_RESTORELASTFILE, "終了時のﾌｧｲﾙを記憶・復元(&L)"},
        {0, 0, nullptr}, {0, IDM_EXIT, "終了(&X)\tAlt+F4"},
        {1, IDM_PLAY, "再生(&Y)\tCtrl+Y"}, {1, IDM_STOP, "停止(&P)\tCtrl+P"}, {1, IDM_TOP, "先頭(&T)\tCtrl+T"},
        {1, IDM_LAST, "最後(&L)\tCtrl+L"}, {1, 0, nullptr}, {1, IDM_RECORD, "録音(&R)\tCtrl+R"}, {1, 0, nullptr},
        {1, IDM_REPEATALL, "全体を繰り返し再生(&A)"},
        {2, IDM_TOPMOST, "最前面に表示(&F)\tCtrl+F"}, {2, IDM_SHOWERROR, "ｴﾗｰ表示する(&E)\tCtrl+E"},
        {2, IDM_SHOWHOUR, "時分秒で表示(&H)\tCtrl+H"}, {2, 0, nullptr}, {2, -1, "再生速度(&S)"}, {2, 0, nullptr},
        {2, IDM_VERSION, "ﾊﾞｰｼﾞｮﾝ情報(&V)..."},
    };
    int position[3] = {0, 0, 0};
    for (const Item &item : items) {
        HMENU popup = GetSubMenu(bar, item.popup);
        const int at = position[item.popup]++;
        if (!item.text) {
            EXPECT_EQ(GetMenuState(popup, at, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
            continue;
        }
        EXPECT_EQ(static_cast<int>(GetMenuItemID(popup, at)), item.id);
        EXPECT_EQ(MenuText(popup, at), Ansi(item.text)) << item.id;
    }
    for (int p = 0; p < 3; ++p) EXPECT_EQ(GetMenuItemCount(GetSubMenu(bar, p)), position[p]);
    EXPECT_TRUE(GetMenuState(GetSubMenu(bar, 0), IDM_MRU_FIRST, MF_BYCOMMAND) & MF_GRAYED);
    // The tray menu and the system menu's two tray items.
    HMENU tray = GetSubMenu(pw.state()->trayMenu, 0);
    ASSERT_TRUE(tray);
    EXPECT_EQ(MenuText(tray, 0), Ansi("ﾄﾚｲから出す(&T)"));
    EXPECT_EQ(GetMenuItemID(tray, 0), static_cast<UINT>(IDM_TRAY_RESTORE));
    EXPECT_EQ(GetMenuItemID(tray, 1), static_cast<UINT>(IDM_VERSION));
    EXPECT_EQ(GetMenuItemID(tray, 3), static_cast<UINT>(IDM_EXIT));
    HMENU system = GetSystemMenu(pw.window(), FALSE);
    char text[80] = "";
    GetMenuStringA(system, IDM_SYS_TOTRAY, text, sizeof text, MF_BYCOMMAND);
    EXPECT_EQ(std::string(text), Ansi("ﾀｽｸﾄﾚｲに格納(&T)"));
    GetMenuStringA(system, IDM_SYS_ICON2TRAY, text, sizeof text, MF_BYCOMMAND);
    EXPECT_EQ(std::string(text), Ansi("最小化でﾀｽｸﾄﾚｲに格納(&I)"));
}

TEST(Spine, Accelerators) {
    tt::PlayerWindow pw;
    ACCEL table[32];
    const int n = CopyAcceleratorTableA(pw.state()->accelTable, table, 32);
    ASSERT_EQ(n, 14);
    const struct { WORD key; int id; } expected[] = {
        {'A', IDM_SAVEAS}, {'E', IDM_SHOWERROR}, {'F', IDM_TOPMOST}, {'H', IDM_SHOWHOUR}, {'L', IDM_LAST},
        {'N', IDM_NEW}, {'O', IDM_OPEN}, {'P', IDM_STOP}, {'R', IDM_RECORD}, {'T', IDM_TOP}, {'Y', IDM_PLAY},
        {VK_UP, IDM_SPEED_FASTER}, {VK_DOWN, IDM_SPEED_SLOWER}, {VK_SPACE, IDM_SPEED_NORMAL}};
    for (const auto &e : expected) {
        bool found = false;
        for (int i = 0; i < n; ++i)
            if (table[i].key == e.key && table[i].cmd == e.id) {
                found = true;
                EXPECT_EQ(table[i].fVirt & (FVIRTKEY | FCONTROL | FSHIFT | FALT), FVIRTKEY | FCONTROL);
            }
        EXPECT_TRUE(found) << e.key;
    }
}

TEST(Spine, StringsLoadAsShiftJis) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    char text[512];
    LoadStringA(instance, IDS_LASTFILE_MISSING, text, sizeof text);
    EXPECT_EQ(std::string(text), Ansi("前回終了時のﾌｧｲﾙ、\n\n%s\n\nが見つかりません。"));
    // Half-width katakana are single bytes in code page 932.
    EXPECT_EQ(std::string(text).substr(12, 4), std::string("\xcc\xa7\xb2\xd9"));
    LoadStringA(instance, IDS_NEWRECORDING, text, sizeof text);
    EXPECT_EQ(std::string(text), "\x90\x56\x8b\x4b");
    LoadStringA(instance, 673, text, sizeof text);
    EXPECT_EQ(std::string(text), Ansi("この処理はNTでは実行できません"));
    LoadStringA(instance, IDS_FILTER_AUDIO, text, sizeof text);
    EXPECT_EQ(std::string(text), "Audio files (*.wav;*.mp3;*.wma)|*.wav;*.mp3;*.wma|Wave files (*.wav)|*.wav|MP3 files (*.mp3)|*.mp3|WMA files (*.wma)|*.wma|All files (*.*)|*.*||");
}

TEST(Spine, TimeFormats) {
    char text[48];
    struct Case { int hour; int t; const char *expected; };
    const Case cases[] = {
        {0, 83456, " 00083:45"}, {1, 83456, " 00:01:23.45"}, {0, -1500, "-00001:50"}, {1, -1500, "-00:00:01.50"},
        {0, 0, " 00000:00"}, {1, 0, " 00:00:00.00"}, {1, 3600000, " 01:00:00.00"}, {0, 3600000, " 03600:00"},
        {0, -2000, "-00002:00"}, {1, 360000000, " 100:00:00.00"}, {0, 123456789, " 123456:78"},
        {1, -2147483647 - 1, "-596:31:23.64"},
    };
    for (const Case &c : cases) {
        FormatDisplayTime(text, c.hour, c.t);
        EXPECT_STREQ(text, c.expected) << c.t;
    }
}

static int setTextCount = 0;
static WNDPROC staticProc = nullptr;
static LRESULT CALLBACK CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_SETTEXT) ++setTextCount;
    return CallWindowProcA(staticProc, w, m, wp, lp);
}

TEST(Spine, SetTimeTextLeavesUnchangedTextAlone) {
    tt::PlayerWindow pw;
    HWND w = pw.window();
    HWND control = GetDlgItem(w, IDC_POSITION);
    staticProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
    setTextCount = 0;
    SetTimeText(w, IDC_POSITION, 83456);
    SetTimeText(w, IDC_POSITION, 83456);
    SetTimeText(w, IDC_POSITION, 83459);  // same hundredth
    EXPECT_EQ(setTextCount, 1);
    EXPECT_EQ(pw.Text(IDC_POSITION), " 00:01:23.45");
    pw.state()->showHour = 0;
    SetTimeText(w, IDC_POSITION, 83456);
    EXPECT_EQ(pw.Text(IDC_POSITION), " 00083:45");
    SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(staticProc));
    // A missing control or record changes nothing and does not fail.
    SetTimeText(w, 4242, 1);
    SetTimeText(nullptr, IDC_POSITION, 1);
}

TEST(Spine, ShowHourToggleRedrawsDisplays) {
    tt::PlayerWindow pw;
    pw.Command(IDM_SHOWHOUR);
    EXPECT_EQ(pw.state()->showHour, 0);
    EXPECT_EQ(pw.Text(IDC_LENGTH), " 00000:00");
    pw.Command(IDM_SHOWHOUR);
    EXPECT_EQ(pw.Text(IDC_POSITION), " 00:00:00.00");
}

TEST(Spine, EnableButtonMovesFocusAndDropsDefaultLook) {
    tt::PlayerWindow pw;
    HWND w = pw.window();
    HWND play = GetDlgItem(w, IDC_PLAY);
    EnableButton(w, IDC_PLAY, 1);
    ASSERT_TRUE(IsWindowEnabled(play));
    SetForegroundWindow(w);
    SetFocus(play);
    SetWindowLongA(play, GWL_STYLE, GetWindowLongA(play, GWL_STYLE) | BS_DEFPUSHBUTTON);
    ASSERT_EQ(GetFocus(), play);
    EnableButton(w, IDC_PLAY, 0);
    EXPECT_FALSE(IsWindowEnabled(play));
    EXPECT_EQ(GetFocus(), GetDlgItem(w, IDC_POSITION_BAR));
    EXPECT_FALSE(GetWindowLongA(play, GWL_STYLE) & BS_DEFPUSHBUTTON);
    // The refresh tick keeps the four live buttons in step with the (closed) session.
    EnableButton(w, IDC_TOP, 1);
    pw.Tick();
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(w, IDC_TOP)));
}

namespace {
struct InsideBox {
    HWND window = nullptr;
    bool acted = false, recordAlive = false;
    size_t boxesAfterSecondError = 0;
} insideBox;

// While the first error box is up: a close and a second error arrive.
VOID CALLBACK ActInsideBox(HWND, UINT, UINT_PTR, DWORD) {
    std::vector<HWND> boxes = tt::ProcessWindows(GetCurrentProcessId(), "#32770");
    if (insideBox.acted || boxes.empty()) return;
    insideBox.acted = true;
    SendMessageA(insideBox.window, WM_CLOSE, 0, 0);
    insideBox.recordAlive = IsWindow(insideBox.window) && GetPlayerState(insideBox.window);
    MediaReportError(insideBox.window, MCIERR_DEVICE_NOT_READY);
    insideBox.boxesAfterSecondError = tt::ProcessWindows(GetCurrentProcessId(), "#32770").size();
    for (HWND box : boxes) PostMessageA(box, WM_COMMAND, IDOK, 0);
}
}  // namespace

TEST(Spine, ACloseInsideAnErrorBoxWaitsForTheBoxAndBoxesDoNotStack) {
    tt::PlayerWindow pw;
    pw.state()->showErrors = 1;
    insideBox = InsideBox{};
    insideBox.window = pw.window();
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, ActInsideBox);
    MediaReportError(pw.window(), MCIERR_FILE_NOT_FOUND);
    KillTimer(nullptr, timer);
    ASSERT_TRUE(insideBox.acted);
    EXPECT_TRUE(insideBox.recordAlive);
    EXPECT_EQ(insideBox.boxesAfterSecondError, 1u);
    // The close comes once the box has gone.
    EXPECT_TRUE(tt::WaitUntil([&] { return !IsWindow(pw.window()); }, 3000));
}

TEST(Spine, SystemMenuNeverOffersMaximiseOrSize) {
    tt::PlayerWindow pw;
    HWND w = pw.window();
    HMENU menu = GetSystemMenu(w, FALSE);
    SendMessageA(w, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, 1));
    EXPECT_EQ(GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_EQ(GetMenuState(menu, SC_SIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_TRUE(GetMenuState(menu, SC_RESTORE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_FALSE(GetMenuState(menu, SC_MINIMIZE, MF_BYCOMMAND) & MF_GRAYED);
    ShowWindow(w, SW_MINIMIZE);
    SendMessageA(w, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, 1));
    EXPECT_FALSE(GetMenuState(menu, SC_RESTORE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(menu, SC_MINIMIZE, MF_BYCOMMAND) & MF_GRAYED);
}

TEST(Spine, MessagesWithoutRecordChangeNothing) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterPlayerClass(instance);
    // A window of the class whose slot is still 0, as before WM_INITDIALOG.
    HWND bare = CreateWindowExA(0, kWindowClass, "bare", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, instance, nullptr);
    ASSERT_TRUE(bare);
    EXPECT_EQ(GetPlayerState(bare), nullptr);
    EXPECT_FALSE(MainDialogProc(bare, WM_TIMER, reinterpret_cast<WPARAM>(bare), 0));
    EXPECT_FALSE(MainDialogProc(bare, WM_COMMAND, IDM_PLAY, 0));
    EXPECT_FALSE(MainDialogProc(bare, WM_SYSCOMMAND, IDM_SYS_TOTRAY, 0));
    EXPECT_EQ(MainDialogProc(bare, WM_QUERYDRAGICON, 0, 0), 0);
    EXPECT_TRUE(MainDialogProc(bare, WM_INITMENUPOPUP, 0, 0));
    DestroyWindow(bare);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {}
}

TEST(Spine, TeardownClearsSlotAndPostsQuit) {
    HWND w;
    {
        tt::PlayerWindow pw;
        w = pw.window();
        SendMessageA(w, WM_DESTROY, 0, 0);  // as DestroyWindow would
        EXPECT_EQ(GetPlayerState(w), nullptr);
        MSG msg;
        EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        // A second teardown (the real WM_DESTROY) finds no record and does nothing harmful.
    }
    EXPECT_FALSE(IsWindow(w));
}

TEST(Spine, MainWindowCentredOnScreen) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterPlayerClass(instance);
    tt::PlayerWindow pw;
    RECT r;
    GetWindowRect(pw.window(), &r);
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_NEAR((r.left + r.right) / 2, cx / 2, 1);
    EXPECT_NEAR((r.top + r.bottom) / 2, cy / 2, 1);
}

TEST(Spine, CentringPinsAndPushesInsideScreen) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    // A parent hanging off the bottom right pushes the dialog back inside.
    HWND parent = CreateWindowExA(0, "STATIC", "p", WS_POPUP | WS_VISIBLE, cx - 50, cy - 50, 400, 300, nullptr, nullptr, instance, nullptr);
    HWND dialog = CreateWindowExA(0, "STATIC", "d", WS_POPUP, 0, 0, 200, 100, parent, nullptr, instance, nullptr);
    CentreWindow(dialog);
    RECT r;
    GetWindowRect(dialog, &r);
    EXPECT_EQ(r.left, cx - 200);
    EXPECT_EQ(r.top, cy - 100);
    // Off the top left: pinned to the edges.
    MoveWindow(parent, -300, -300, 200, 200, FALSE);
    CentreWindow(dialog);
    GetWindowRect(dialog, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    // A minimised parent: centred on the screen.
    ShowWindow(parent, SW_MINIMIZE);
    CentreWindow(dialog);
    GetWindowRect(dialog, &r);
    EXPECT_EQ(r.left, cx / 2 - 100);
    EXPECT_EQ(r.top, cy / 2 - 50);
    DestroyWindow(dialog);
    DestroyWindow(parent);
}

// A library planted in the program's folder under a system library's name
// is never what a system library's load gives.
TEST(Spine, SystemLibrariesComeOnlyFromTheSystemFolder) {
    char folder[MAX_PATH];
    GetModuleFileNameA(nullptr, folder, MAX_PATH);
    *strrchr(folder, '\\') = '\0';
    const std::string planted = std::string(folder) + "\\planted_system.dll";
    ASSERT_TRUE(CopyFileA((std::string(folder) + "\\fake_vbmp3.dll").c_str(), planted.c_str(), FALSE));
    HMODULE byName = LoadLibraryA("planted_system.dll");
    EXPECT_TRUE(byName);  // the plant is there to be found
    if (byName) FreeLibrary(byName);
    EXPECT_EQ(LoadSystemLibrary("planted_system.dll"), nullptr);
    DeleteFileA(planted.c_str());
    HMODULE shlwapi = LoadSystemLibrary("shlwapi.dll");
    ASSERT_TRUE(shlwapi);
    char path[MAX_PATH] = "", system[MAX_PATH] = "";
    GetModuleFileNameA(shlwapi, path, MAX_PATH);
    GetSystemDirectoryA(system, MAX_PATH);
    EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path, lstrlenA(system), system, -1), CSTR_EQUAL)
        << path;
}
