// Start-up, the main window and the message loop of the player.
#pragma once
#include <windows.h>

constexpr const char *kMutexName = "Tavolin";
constexpr const char *kWindowClass = "TavolinWndClass";
constexpr const char *kProgramName = "Tavolin";
constexpr const char *kProgramVersion = "2.3(32)";

int RunPlayer(HINSTANCE instance, HINSTANCE previous, const char *commandTail, int showCommand);
BOOL RegisterPlayerClass(HINSTANCE instance);
HWND CreateMainWindow(HINSTANCE instance);   // DIALOG 102 with MainDialogProc
void ActivateRunningInstance();
INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL InitMainWindow(HWND window, HINSTANCE instance);
void TeardownMainWindow(HWND window);

// While one lives, each dialog this thread opens (message boxes and common
// dialogs included) is centred over its owner: the hook sees WM_INITDIALOG
// before the dialog does. Held only around the calls that open dialogs, since
// a hook on every sent message slows every window of the program.
class CentredDialogs {
public:
    CentredDialogs();
    ~CentredDialogs();
    CentredDialogs(const CentredDialogs &) = delete;
    CentredDialogs &operator=(const CentredDialogs &) = delete;
};
