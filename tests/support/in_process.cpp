#include "in_process.h"
#include "test_support.h"
#include "app/main_window.h"
#include "app/commands.h"

namespace tt {

std::string PlayerWindow::SettingsPath() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string s = path;
    return s.substr(0, s.find_last_of('.')) + ".ini";
}

PlayerWindow::PlayerWindow(bool keepSettings) {
    if (!keepSettings) DeleteFileA(SettingsPath().c_str());
    HINSTANCE instance = GetModuleHandleA(nullptr);
    static bool registered = RegisterPlayerClass(instance) != 0;
    (void)registered;
    window_ = CreateMainWindow(instance);
    ShowWindow(window_, SW_SHOWNORMAL);
    Pump(20);
}

PlayerWindow::~PlayerWindow() {
    if (window_ && IsWindow(window_)) DestroyWindow(window_);
    // TeardownMainWindow posts WM_QUIT; take it off the queue for the next test.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT) DispatchMessageA(&msg);
    }
}

std::string PlayerWindow::Text(int id) const { return ControlText(window_, id); }

void PlayerWindow::Command(int id) { SendMessageA(window_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

void PlayerWindow::Tick() {
    PlayerState *s = state();
    if (s) SendMessageA(window_, WM_TIMER, s->refreshTimerId, 0);
}

void PlayerWindow::Close() { SendMessageA(window_, WM_CLOSE, 0, 0); }

namespace {
struct Dismisser {
    std::string firstText;
    int button;
    bool seen = false;
};
Dismisser *activeDismisser = nullptr;

VOID CALLBACK DismissTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (!activeDismisser) return;
    std::vector<HWND> boxes = ProcessWindows(GetCurrentProcessId(), "#32770");
    for (HWND box : boxes) {
        if (!IsWindowVisible(box)) continue;
        if (!activeDismisser->seen) {
            activeDismisser->seen = true;
            activeDismisser->firstText = WindowText(box) + "|" + MessageBoxText(box);
        }
        PostMessageA(box, WM_COMMAND, activeDismisser->button, 0);
    }
}
}  // namespace

std::string DismissingBoxes(void (*action)(void *), void *context, int button) {
    Dismisser d;
    d.button = button;
    activeDismisser = &d;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, DismissTimer);
    action(context);
    KillTimer(nullptr, timer);
    activeDismisser = nullptr;
    return d.firstText;
}

}  // namespace tt
