#include "key_commands.h"
#include "key_lists.h"
#include "key_settings.h"
#include "res/resource.h"

namespace {

void ClearSelections(HWND window) {
    SendDlgItemMessageA(window, IDC_KEYLIST, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SendDlgItemMessageA(window, IDC_COMMANDLIST, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

KeyEntry *SelectedKey(HWND window) {
    const LRESULT line = SendDlgItemMessageA(window, IDC_KEYLIST, LB_GETCURSEL, 0, 0);
    if (line == LB_ERR) return nullptr;
    const LRESULT data = SendDlgItemMessageA(window, IDC_KEYLIST, LB_GETITEMDATA, line, 0);
    return data == LB_ERR ? nullptr : reinterpret_cast<KeyEntry *>(data);
}

BOOL Checked(HWND window, int id) { return SendDlgItemMessageA(window, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void ClearBindings(HWND window, RunebyState *state) {
    RecordArrayFree(&state->activeBindings);
    RecordArrayInit(&state->activeBindings, sizeof(KeyEntry));
    for (const RecordArray &list : state->keyLists)
        for (int i = 0; i < list.count; ++i) KeyAt(list, i)->command = 0;
    ClearSelections(window);
}

}  // namespace

BOOL OnMapperCommand(HWND window, int code, int id, HWND) {
    RunebyState *state = GetRunebyState(window);
    if (!state) return FALSE;
    switch (id) {
    case IDC_KEYLIST:
        if (code == LBN_SELCHANGE) {
            if (KeyEntry *entry = SelectedKey(window))
                SendDlgItemMessageA(window, IDC_COMMANDLIST, LB_SETCURSEL, entry->command, 0);
        }
        return FALSE;
    case IDC_COMMANDLIST:
        if (code == LBN_SELCHANGE) {
            KeyEntry *entry = SelectedKey(window);
            const LRESULT line = SendDlgItemMessageA(window, IDC_COMMANDLIST, LB_GETCURSEL, 0, 0);
            if (entry && line != LB_ERR && line < state->commandCount) entry->command = static_cast<int>(line);
        }
        return FALSE;
    case IDC_SHIFT:
    case IDC_CTRL:
    case IDC_ALT:
        if (code == BN_CLICKED) {
            state->modifierIndex = (Checked(window, IDC_SHIFT) ? 1 : 0) + (Checked(window, IDC_CTRL) ? 2 : 0) +
                                   (Checked(window, IDC_ALT) ? 4 : 0);
            FillKeyList(window);
            ClearSelections(window);
        }
        return TRUE;
    case IDC_CLEAR:
        ClearBindings(window, state);
        return FALSE;
    default:
        return FALSE;
    }
}
