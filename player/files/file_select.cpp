#include "files/file_select.h"
#include "host_system.h"
#include "library_entry.h"
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
using SaveDialogProc = BOOL(WINAPI *)(LPOPENFILENAMEA);
using OpenDialogProc = BOOL(WINAPI *)(LPOPENFILENAMEW);

HMODULE FileDialogLibrary() {
    static HMODULE library = nullptr;
    if (!library) library = LoadSystemLibrary("comdlg32.dll");
    return library;
}

// The open dialog hands the chosen name over in full (UTF-16): one the code
// page cannot write is opened by its short alias. Its texts are the ANSI
// ones, widened.
bool ShowOpenDialog(const OPENFILENAMEA &ansi, char *chosen) {
    const auto dialog = LibraryEntry<OpenDialogProc>(FileDialogLibrary(), "GetOpenFileNameW");
    if (!dialog) return false;
    WCHAR filter[kFilterSize];
    WCHAR folder[kPathSize] = L"";
    WCHAR defaultExt[16] = L"";
    WCHAR name[kPathSize] = L"";
    MultiByteToWideChar(CP_ACP, 0, ansi.lpstrFilter, kFilterSize, filter, kFilterSize);  // zero-filled: ends in two
    if (ansi.lpstrInitialDir) MultiByteToWideChar(CP_ACP, 0, ansi.lpstrInitialDir, -1, folder, kPathSize);
    MultiByteToWideChar(CP_ACP, 0, ansi.lpstrDefExt, -1, defaultExt, 16);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    ofn.hwndOwner = ansi.hwndOwner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = name;
    ofn.nMaxFile = kPathSize;
    ofn.lpstrInitialDir = ansi.lpstrInitialDir ? folder : nullptr;
    ofn.Flags = ansi.Flags;
    ofn.lpstrDefExt = defaultExt;
    if (!dialog(&ofn)) return false;
    AnsiPathFor(name, chosen);
    return true;
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
    const auto saveDialog = open ? nullptr : LibraryEntry<SaveDialogProc>(FileDialogLibrary(), "GetSaveFileNameA");
    if (!open && !saveDialog) return 0;
    CentredDialogs centred;
    if (open) {
        char chosen[kPathSize];
        if (ShowOpenDialog(ofn, chosen)) {
            ResolvePath(chosen);
            if (MediaOpen(window, chosen)) {
                RememberChosen(state, chosen);
                result = 1;
            }
        }
    } else if (saveDialog(&ofn) && MediaSaveAs(window, name)) {
        RememberChosen(state, name);
        result = 1;
    }
    SetCurrentDirectoryA(savedDirectory);
    return result;
}

BOOL OnDropFiles(HWND window, HDROP drop) {
    PlayerState *state = GetPlayerState(window);
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    SetForegroundWindow(window);
    for (UINT i = 0; state && i < count; ++i) {
        // The real name, taken in full, goes by its short alias where the
        // code page cannot write it.
        WCHAR wide[kPathSize] = L"";
        char name[kPathSize] = "";
        if (DragQueryFileW(drop, i, nullptr, 0) >= kPathSize) continue;  // would not fit
        DragQueryFileW(drop, i, wide, kPathSize);
        if (!AnsiPathFor(wide, name) && !name[0]) continue;  // would not fit
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
