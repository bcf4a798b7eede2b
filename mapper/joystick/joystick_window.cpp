#include "joystick_window.h"
#include "button_bindings.h"
#include "joystick_sampling.h"
#include "res/resource.h"
#include "../common/dde_client.h"
#include "../common/list_redraw.h"

namespace {

constexpr int kCommandLists[] = {IDC_BUTTONS, IDC_PRESS_COMMAND, IDC_RELEASE_COMMAND};

void ClearSelections(HWND window) {
    for (int id : kCommandLists) SendDlgItemMessageA(window, id, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

ButtonBinding *SelectedBinding(HWND window) {
    const LRESULT item = SendDlgItemMessageA(window, IDC_BUTTONS, LB_GETCURSEL, 0, 0);
    if (item == LB_ERR) return nullptr;
    const LRESULT data = SendDlgItemMessageA(window, IDC_BUTTONS, LB_GETITEMDATA, item, 0);
    return data == LB_ERR ? nullptr : reinterpret_cast<ButtonBinding *>(data);
}

// The chosen line of a command list into the selected button's binding.
void StoreChosenCommand(HWND window, int listId, bool press) {
    ButtonBinding *binding = SelectedBinding(window);
    const LRESULT line = SendDlgItemMessageA(window, listId, LB_GETCURSEL, 0, 0);
    if (!binding || line == LB_ERR) return;
    (press ? binding->pressCommand : binding->releaseCommand) = static_cast<int>(line);
}

void FillJoystickBox(HWND window, PadwigState *state) {
    char format[kTextSize] = "";
    LoadStringA(state->instance, IDS_JOYSTICK_ITEM, format, sizeof format);
    HWND box = GetDlgItem(window, IDC_JOYSTICK);
    ListRedrawOff quiet(box);
    for (int i = 1; i <= state->joystickCount; ++i) {
        char item[kTextSize + 16];
        wsprintfA(item, format, i);
        SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    SendMessageA(box, CB_SETEXTENDEDUI, TRUE, 0);
}

}  // namespace

void SetUpJoystickWindow(HWND window) {
    PadwigState *state = GetPadwigState(window);
    CountJoysticks(window);
    BuildButtonLists(window);
    LoadJoystickSettings(window);
    FillCommandListBox(window, IDC_PRESS_COMMAND);
    FillCommandListBox(window, IDC_RELEASE_COMMAND);
    FillJoystickBox(window, state);
    RecordArrayInit(&state->activeBindings, sizeof(ButtonBinding));
    SendDlgItemMessageA(window, IDC_JOYSTICK, CB_SETCURSEL, 0, 0);
    FillButtonList(window);
    StartSampling(window);
}

void FillButtonList(HWND window) {
    PadwigState *state = GetPadwigState(window);
    if (!state) return;
    HWND box = GetDlgItem(window, IDC_BUTTONS);
    ListRedrawOff quiet(box);
    SendMessageA(box, LB_RESETCONTENT, 0, 0);
    const LRESULT j = SendDlgItemMessageA(window, IDC_JOYSTICK, CB_GETCURSEL, 0, 0);
    if (j == CB_ERR || j < 0 || j >= kJoystickMax) return;
    const RecordArray &list = state->buttonLists[j];
    for (int i = 0; i < list.count; ++i) {
        ButtonBinding *binding = BindingAt(list, i);
        const LRESULT item = SendMessageA(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(binding->label));
        if (item >= 0) SendMessageA(box, LB_SETITEMDATA, item, reinterpret_cast<LPARAM>(binding));
    }
}

BOOL OnJoystickCommand(HWND window, int code, int id, HWND) {
    PadwigState *state = GetPadwigState(window);
    if (!state) return FALSE;
    switch (id) {
    case IDC_JOYSTICK:
        // However the joystick was chosen (the keys change it on the closed
        // box too), the list shows its buttons.
        if (code == CBN_SELCHANGE || code == CBN_CLOSEUP) {
            FillButtonList(window);
            ClearSelections(window);
            state->lastStatusTick = 0;
        }
        return FALSE;
    case IDC_BUTTONS:
        if (code == LBN_SELCHANGE) {
            if (const ButtonBinding *binding = SelectedBinding(window)) {
                SendDlgItemMessageA(window, IDC_PRESS_COMMAND, LB_SETCURSEL, binding->pressCommand, 0);
                SendDlgItemMessageA(window, IDC_RELEASE_COMMAND, LB_SETCURSEL, binding->releaseCommand, 0);
            }
        }
        return FALSE;
    case IDC_PRESS_COMMAND:
        if (code == LBN_SELCHANGE) StoreChosenCommand(window, IDC_PRESS_COMMAND, true);
        return FALSE;
    case IDC_RELEASE_COMMAND:
        if (code == LBN_SELCHANGE) StoreChosenCommand(window, IDC_RELEASE_COMMAND, false);
        return FALSE;
    case IDC_CLEAR:
        ClearBindings(window);
        ClearSelections(window);
        return FALSE;
    default:
        return FALSE;
    }
}
