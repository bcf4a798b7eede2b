#include "padwig_program.h"
#include "button_bindings.h"
#include "joystick_sampling.h"
#include "joystick_window.h"
#include "res/resource.h"

namespace {

// Control 1000 + k shows string k + 1.
constexpr MapperTooltip kTooltips[] = {
    {1000, 1}, {1001, 2}, {1002, 3}, {1003, 4}, {1004, 5}, {1005, 6}, {1006, 7}, {1007, 8}, {1008, 9},
};

}  // namespace

const MapperProgram kPadwigProgram = {
    "Padwig",
    "PadwigWndClass",
    IDD_PADWIG,
    IDI_PADWIG,
    2,        // tray icon
    0x8020,   // tray callback message
    2,        // tray timer (1 is the poll timer)
    IDS_SYS_TOTRAY,
    IDS_SYS_ICON2TRAY,
    kTooltips,
    static_cast<int>(sizeof kTooltips / sizeof *kTooltips),
    TRUE,     // the status text takes no mouse input: rectangle tools too
    sizeof(PadwigState),
    SetUpJoystickWindow,
    nullptr,
    ApplyBindings,
    SaveBindings,
    OnJoystickCommand,
    OnPollTimer,
    nullptr,
    StopSampling,
    FreeButtonLists,
};
