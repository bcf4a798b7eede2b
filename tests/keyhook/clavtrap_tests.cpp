// The hook library's working parts in this process, with real injected keys.
#include <gtest/gtest.h>
#include <windows.h>
#include <utility>
#include <vector>
#include "clavtrap.h"
#include "test_support.h"

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

DWORD WINAPI InjectKeys(LPVOID inputs) {
    for (INPUT &in : *static_cast<std::vector<INPUT> *>(inputs)) {
        SendInput(1, &in, sizeof in);
        Sleep(20);
    }
    return 0;
}

// A window that gets the notifications, the hook installed for it on this
// thread. Keys are injected from another thread while this one pumps, as the
// system calls a low-level hook through its thread's message loop.
class HookedWindow {
public:
    HookedWindow() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = NoticeWindowProc;
        wc.lpszClassName = "ClavtrapNotices";
        RegisterClassA(&wc);
        window_ = CreateWindowA("ClavtrapNotices", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        noticeMessage = RegisterWindowMessageA("Clavtrap.dll");
        notices.clear();
        EXPECT_TRUE(ClavtrapInstall(GetModuleHandleA(nullptr), window_, noticeMessage));
    }
    ~HookedWindow() {
        ClavtrapRemove();
        DestroyWindow(window_);
    }
    HookedWindow(const HookedWindow &) = delete;
    HookedWindow &operator=(const HookedWindow &) = delete;

    // Each pair: the key, and whether it is let go.
    std::vector<Notice> Inject(const std::vector<std::pair<WORD, bool>> &keys) {
        notices.clear();
        std::vector<INPUT> inputs;
        for (const auto &k : keys) {
            INPUT in = {};
            in.type = INPUT_KEYBOARD;
            in.ki.wVk = k.first;
            in.ki.dwFlags = k.second ? KEYEVENTF_KEYUP : 0;
            inputs.push_back(in);
        }
        HANDLE thread = CreateThread(nullptr, 0, InjectKeys, &inputs, 0, nullptr);
        tt::WaitUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 5000);
        CloseHandle(thread);
        tt::Pump(200);
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
