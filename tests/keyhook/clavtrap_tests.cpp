// The hook library's working parts in this process, with real injected keys.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <utility>
#include <vector>
#include "clavtrap.h"
#include "test_support.h"
#include <algorithm>

namespace {

struct Notice {
    WORD key;
    WORD modifiers;
    bool release;
};

UINT noticeMessage = 0;
std::vector<Notice> notices;

LRESULT CALLBACK NoticeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == noticeMessage && noticeMessage) {
        notices.push_back({LOWORD(wParam), HIWORD(wParam), (static_cast<DWORD>(lParam) & 0x80000000u) != 0});
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

struct Injection {
    std::vector<INPUT> inputs;
    DWORD longestCall = 0;  // ms, the slowest SendInput
};

DWORD WINAPI InjectKeys(LPVOID param) {
    Injection *injection = static_cast<Injection *>(param);
    for (INPUT &in : injection->inputs) {
        const DWORD start = GetTickCount();
        SendInput(1, &in, sizeof in);
        injection->longestCall = std::max(injection->longestCall, GetTickCount() - start);
        Sleep(20);
    }
    return 0;
}

// A window of the test's own, in front, that gets the notifications. Keys
// are injected from another thread while this one pumps.
class HookedWindow {
public:
    explicit HookedWindow(bool install = true) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = NoticeWindowProc;
        wc.lpszClassName = "ClavtrapNotices";
        RegisterClassA(&wc);
        window_ = CreateWindowA("ClavtrapNotices", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                                nullptr, nullptr);
        SetForegroundWindow(window_);
        tt::Pump(100);
        noticeMessage = RegisterWindowMessageA("Clavtrap.dll");
        notices.clear();
        if (install) {
            EXPECT_TRUE(Install());
        }
    }
    BOOL Install() { return ClavtrapInstall(GetModuleHandleA(nullptr), window_, noticeMessage); }
    ~HookedWindow() {
        ClavtrapRemove();
        DestroyWindow(window_);
    }
    HookedWindow(const HookedWindow &) = delete;
    HookedWindow &operator=(const HookedWindow &) = delete;

    // Each pair: the key, and whether it is let go. With stallMs, this
    // thread (the window's) does not answer for that long while they go.
    std::vector<Notice> Inject(const std::vector<std::pair<WORD, bool>> &keys, DWORD stallMs = 0,
                               DWORD *longestCall = nullptr) {
        notices.clear();
        Injection injection;
        for (const auto &k : keys) {
            INPUT in = {};
            in.type = INPUT_KEYBOARD;
            in.ki.wVk = k.first;
            in.ki.dwFlags = k.second ? KEYEVENTF_KEYUP : 0;
            injection.inputs.push_back(in);
        }
        HANDLE thread = CreateThread(nullptr, 0, InjectKeys, &injection, 0, nullptr);
        if (stallMs) Sleep(stallMs);
        tt::WaitUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 10000);
        CloseHandle(thread);
        tt::Pump(200);
        if (longestCall) *longestCall = injection.longestCall;
        return notices;
    }

private:
    HWND window_;
};

}  // namespace

TEST(Clavtrap, ReportsPressesAndReleasesWithTheirModifiers) {
    HookedWindow hooked;
    const std::vector<Notice> got = hooked.Inject(
        {{VK_LCONTROL, false}, {'1', false}, {'1', false}, {'1', true}, {VK_LCONTROL, true}, {'2', false}, {'2', true}});
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(got[0].modifiers, kModCtrl);  // the modifier's own press counts it held
    EXPECT_EQ(got[1].key, '1');
    EXPECT_EQ(got[1].modifiers, kModCtrl);
    EXPECT_FALSE(got[1].release);
    EXPECT_EQ(got[2].modifiers, kModCtrl);  // an auto-repeat is reported again
    EXPECT_TRUE(got[3].release);
    EXPECT_EQ(got[5].key, '2');
    EXPECT_EQ(got[5].modifiers, 0);
    EXPECT_FALSE(got[5].release);
}

TEST(Clavtrap, ADroppedHookComesBackAndAMissedReleaseLeavesNoModifierHeld) {
    HookedWindow hooked;
    hooked.Inject({{VK_RSHIFT, false}, {VK_LMENU, false}});
    // The system drops the hook (as after a procedure over its time-out);
    // the releases happen while it is gone.
    ASSERT_TRUE(UnhookWindowsHookEx(ClavtrapHook()));
    EXPECT_TRUE(hooked.Inject({{VK_LMENU, true}, {VK_RSHIFT, true}}).empty());
    // Within a few seconds the library has put the hook back by itself.
    std::vector<Notice> got;
    ASSERT_TRUE(tt::WaitUntil([&] {
        got = hooked.Inject({{VK_F5, false}, {VK_F5, true}});
        return !got.empty();
    }, 8000, 200));
    EXPECT_EQ(got[0].key, VK_F5);
    EXPECT_EQ(got[0].modifiers, 0);
}

TEST(Clavtrap, RightHandModifiersCountAsTheirOwn) {
    HookedWindow hooked;
    const std::vector<Notice> got = hooked.Inject({{VK_RSHIFT, false}, {VK_LEFT, false}, {VK_LEFT, true}, {VK_RSHIFT, true},
                                                   {VK_RCONTROL, false}, {'1', false}, {'1', true}, {VK_RCONTROL, true},
                                                   {VK_RMENU, false}, {VK_F2, false}, {VK_F2, true}, {VK_RMENU, true}});
    ASSERT_EQ(got.size(), 12u);
    EXPECT_EQ(got[1].modifiers, kModShift);
    EXPECT_EQ(got[5].modifiers, kModCtrl);
    EXPECT_EQ(got[9].modifiers, kModAlt);
}

TEST(Clavtrap, ModifiersHeldBeforeTheHookOrWhileItWasAwayCount) {
    HookedWindow hooked(false);
    {
        tt::HeldXKey ctrl("Control_L", VK_CONTROL);
        ASSERT_TRUE(hooked.Install());
        const std::vector<Notice> got = hooked.Inject({{'1', false}, {'1', true}});
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0].modifiers, kModCtrl);
    }
    // The hook is dropped; Shift goes down while it is away.
    ASSERT_TRUE(UnhookWindowsHookEx(ClavtrapHook()));
    tt::HeldXKey shift("Shift_R", VK_SHIFT);
    std::vector<Notice> got;
    ASSERT_TRUE(tt::WaitUntil([&] {
        got = hooked.Inject({{VK_F5, false}, {VK_F5, true}});
        return !got.empty();
    }, 8000, 200));
    EXPECT_EQ(got[0].key, VK_F5);
    EXPECT_EQ(got[0].modifiers, kModShift);
}

TEST(Clavtrap, KeysAreNotHeldUpWhileTheWindowsThreadIsBusy) {
    HookedWindow hooked;
    DWORD longestCall = 0;
    const std::vector<Notice> got =
        hooked.Inject({{VK_F7, false}, {VK_F7, true}, {VK_F8, false}, {VK_F8, true}}, 1500, &longestCall);
    EXPECT_LT(longestCall, 200u);
    // The notices wait for the window, in order.
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].key, VK_F7);
    EXPECT_EQ(got[2].key, VK_F8);
    EXPECT_TRUE(got[3].release);
}

namespace {

std::vector<std::string> hookCalls;
int setFailuresLeft = 0;

HHOOK WINAPI RecordingSetHook(int type, HOOKPROC proc, HINSTANCE module, DWORD thread) {
    if (setFailuresLeft > 0) {
        --setFailuresLeft;
        hookCalls.push_back("failed");
        return nullptr;
    }
    hookCalls.push_back("set");
    return SetWindowsHookExA(type, proc, module, thread);
}

BOOL WINAPI RecordingUnhook(HHOOK hook) {
    hookCalls.push_back("unhook");
    return UnhookWindowsHookEx(hook);
}

struct RecordedHookCalls {
    explicit RecordedHookCalls(int failures) {
        hookCalls.clear();
        setFailuresLeft = failures;
        g_clavtrapHookCalls = {RecordingSetHook, RecordingUnhook};
    }
    ~RecordedHookCalls() { g_clavtrapHookCalls = {SetWindowsHookExA, UnhookWindowsHookEx}; }
};

}  // namespace

TEST(Clavtrap, AFailedInstallIsTriedAgainAndAReinstallHooksBeforeItUnhooks) {
    RecordedHookCalls recorded(1);
    HookedWindow hooked(false);
    EXPECT_FALSE(hooked.Install());
    ASSERT_TRUE(tt::WaitUntil([] { return ClavtrapHook() != nullptr; }, 5000));
    EXPECT_EQ(hooked.Inject({{VK_F6, false}, {VK_F6, true}}).size(), 2u);

    hookCalls.clear();
    ASSERT_TRUE(UnhookWindowsHookEx(ClavtrapHook()));
    ASSERT_TRUE(tt::WaitUntil([&] { return !hooked.Inject({{VK_F6, false}, {VK_F6, true}}).empty(); }, 8000, 200));
    EXPECT_EQ(hookCalls, (std::vector<std::string>{"set", "unhook"}));
}
