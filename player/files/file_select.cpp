#include "files/file_select.h"
#include "host_system.h"
#include "app/main_window.h"
#include "files/paths.h"
#include "files/recent_files.h"
#include "app/player_state.h"
#include "media/media_session.h"
#include "res/resource.h"
#include <commdlg.h>
#include <cstddef>

namespace {

constexpr int kFilterSize = 512;
#ifndef _WIN64
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76, "open file name block, first form");
#endif

void RememberChosen(PlayerState *state, const char *name) {
    RecentFilesAdd(&state->recentFiles, name, state->fileMenu);
    RememberFolder(state, name);
}

// The open and save dialogs' library is loaded when a file is first chosen:
// it is by far the costliest of the program's libraries to load, and nothing
// else needs it.  Kept for the life of the process.
using FileDialogProc = BOOL(WINAPI *)(LPOPENFILENAMEA);

FileDialogProc FileDialog(int open) {
    static HMODULE library = nullptr;
    if (!library) library = LoadSystemLibrary("comdlg32.dll");
    if (!library) return nullptr;
    return reinterpret_cast<FileDialogProc>(
        reinterpret_cast<void *>(GetProcAddress(library, open ? "GetOpenFileNameA" : "GetSaveFileNameA")));
}

bool IsFolder(const char *name) {
    const DWORD attributes = GetFileAttributesA(name);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

void BuildFileFilter(HWND window, char *filter, int size) {
    PlayerState *state = GetPlayerState(window);
    char section[64] = "";
    char key[16] = "";
    char value[kPathSize];
    LoadStringA(state->hInstance, IDS_MCI_EXTENSIONS, section, sizeof section);
    LoadStringA(state->hInstance, IDS_EXT_MP3, key, sizeof key);
    const bool mp3 = state->mp3Available || GetProfileStringA(section, key, "", value, sizeof value) > 0;
    LoadStringA(state->hInstance, IDS_EXT_WMA, key, sizeof key);
    const bool wma = GetProfileStringA(section, key, "", value, sizeof value) > 0;
    const UINT id = mp3 ? (wma ? IDS_FILTER_AUDIO : IDS_FILTER_WAVE_MP3) : IDS_FILTER_WAVE;
    ZeroMemory(filter, size);
    LoadStringA(state->hInstance, id, filter, size - 1);
    for (char *p = filter; *p; ++p)
        if (*p == '|') *p = '\0';
}

int ChooseFile(HWND window, int open, const char *folder) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return 0;
    char savedDirectory[kPathSize] = "";
    GetCurrentDirectoryA(sizeof savedDirectory, savedDirectory);
    char filter[kFilterSize];
    char defaultExt[16] = "";
    char name[kPathSize] = "";
    BuildFileFilter(window, filter, sizeof filter);
    LoadStringA(state->hInstance, IDS_DEFEXT, defaultExt, sizeof defaultExt);

    OPENFILENAMEA ofn = {};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = window;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = name;
    ofn.nMaxFile = sizeof name;
    ofn.lpstrInitialDir = folder ? folder : (state->lastFolder[0] ? state->lastFolder : nullptr);
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    ofn.lpstrDefExt = defaultExt;

    int result = 0;
    const FileDialogProc dialog = FileDialog(open);
    if (!dialog) return 0;
    CentredDialogs centred;
    if (open) {
        if (dialog(&ofn)) {
            char chosen[kPathSize];
            lstrcpynA(chosen, name, sizeof chosen);
            ResolvePath(chosen);
            if (MediaOpen(window, chosen)) {
                RememberChosen(state, chosen);
                result = 1;
            }
        }
    } else if (dialog(&ofn) && MediaSaveAs(window, name)) {
        RememberChosen(state, name);
        result = 1;
    }
    SetCurrentDirectoryA(savedDirectory);
    return result;
}

BOOL OnDropFiles(HWND window, HDROP drop) {
    PlayerState *state = GetPlayerState(window);
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    SetForegroundWindow(window);
    for (UINT i = 0; state && i < count; ++i) {
        char name[kPathSize] = "";
        if (DragQueryFileA(drop, i, nullptr, 0) >= kPathSize) continue;  // would not fit
        DragQueryFileA(drop, i, name, sizeof name);
        ResolvePath(name);
        if (IsFolder(name)) {
            if (ChooseFile(window, 1, name)) break;
        } else if (MediaOpen(window, name)) {
            RememberChosen(state, name);
            break;
        }
    }
    DragFinish(drop);
    return TRUE;
}
