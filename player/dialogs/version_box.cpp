#include "dialogs/version_box.h"
#include "app/player_state.h"
#include "app/main_window.h"
#include "res/resource.h"

namespace {
constexpr int kTextSize = 1024;
constexpr int kFormatSize = 512;
}

int ReadLegalNotice(const HMODULE *module, char *out, int size) {
    if (!module || !*module || !out || size <= 0) return 0;
    char name[kPathSize];
    if (!GetModuleFileNameA(*module, name, sizeof name)) return 0;
    DWORD handle = 0;
    const DWORD infoSize = GetFileVersionInfoSizeA(name, &handle);
    if (!infoSize) return 0;
    void *block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, infoSize);
    if (!block) return 0;
    int found = 0;
    struct Translation { WORD language, codePage; };
    Translation *translations = nullptr;
    UINT length = 0;
    if (GetFileVersionInfoA(name, 0, infoSize, block) &&
        VerQueryValueA(block, "\\VarFileInfo\\Translation", reinterpret_cast<void **>(&translations), &length)) {
        for (UINT i = 0; i < length / 4 && !found; ++i) {
            char query[64];
            wsprintfA(query, "\\StringFileInfo\\%04x%04x\\LegalCopyright", translations[i].language,
                      translations[i].codePage);
            char *value = nullptr;
            UINT valueLength = 0;
            if (VerQueryValueA(block, query, reinterpret_cast<void **>(&value), &valueLength) && value &&
                valueLength && value[0]) {
                lstrcpynA(out, value, size);
                found = 1;
            }
        }
    }
    GlobalFree(block);
    return found;
}

void FormatVersionText(HWND window, char *text, int size) {
    PlayerState *state = GetPlayerState(window);
    char format[kFormatSize] = "";
    LoadStringA(state->hInstance, IDS_VERSION_TEXT, format, sizeof format);
    int length = wsprintfA(text, format, kProgramName, kProgramVersion);
    if (!state->mp3Available) return;
    const int v = state->mp3Decoder.getVersion();
    LoadStringA(state->hInstance, IDS_DECODER_LINE, format, sizeof format);
    length += wsprintfA(text + length, format, state->mp3Decoder.libraryName, v / 100, v % 100);
    if (!ReadLegalNotice(&state->mp3Decoder.module, format, sizeof format))
        LoadStringA(state->hInstance, IDS_DECODER_CREDITS, format, sizeof format);
    lstrcpynA(text + length, format, size - length);
}

void ShowVersionBox(HWND window) {
    PlayerState *state = GetPlayerState(window);
    if (!state) return;
    if (InSendMessage()) ReplyMessage(0);
    char text[kTextSize];
    FormatVersionText(window, text, sizeof text);
    CentredDialogs centred;
    MessageBoxA(window, text, state->appName, MB_ICONINFORMATION);
}
