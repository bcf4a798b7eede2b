// The real main window, created inside the test process as the program does.
#pragma once
#include <windows.h>
#include <string>
#include "app/player_state.h"

namespace tt {

class PlayerWindow {
public:
    // Removes any settings file left beside the test program first, unless told to keep it.
    explicit PlayerWindow(bool keepSettings = false);
    ~PlayerWindow();
    PlayerWindow(const PlayerWindow &) = delete;
    PlayerWindow &operator=(const PlayerWindow &) = delete;

    HWND window() const { return window_; }
    PlayerState *state() const { return GetPlayerState(window_); }
    std::string Text(int id) const;
    void Command(int id);                 // WM_COMMAND, handled at once
    void Tick();                          // one refresh-timer tick
    void Close();                         // WM_CLOSE: saves the settings and destroys
    static std::string SettingsPath();    // the ini beside the test program

private:
    HWND window_ = nullptr;
};

// Dismisses (with the given button) any message box or dialog this thread
// shows while `action` runs, and returns the text of the first one seen.
std::string DismissingBoxes(void (*action)(void *), void *context, int button = IDOK);

}  // namespace tt
