#include "files/paths.h"
#include "app/player_state.h"
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace {

const CLSID kClsidShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kIidShellLinkA = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kIidPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// End of the component that starts at p: the next '\' or the terminating zero.
char *ComponentEnd(char *p) {
    while (*p && *p != '\\') {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) ++p;
        ++p;
    }
    return p;
}

bool OnlyDots(const char *name) {
    for (; *name; ++name)
        if (*name != '.') return false;
    return true;
}

bool HasWildcard(const char *text) {
    for (; *text; ++text)
        if (*text == '*' || *text == '?') return true;
    return false;
}

// The target stored in a shortcut, one step only; false when it is none or too long.
bool ReadShortcutTarget(const char *path, char *target) {
    IShellLinkA *link = nullptr;
    if (FAILED(CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_INPROC_SERVER, kIidShellLinkA,
                                reinterpret_cast<void **>(&link))))
        return false;
    IPersistFile *file = nullptr;
    if (FAILED(link->QueryInterface(kIidPersistFile, reinterpret_cast<void **>(&file)))) {
        link->Release();
        return false;
    }
    bool ok = false;
    WCHAR wide[kPathSize];
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kPathSize) && SUCCEEDED(file->Load(wide, STGM_READ))) {
        char found[4 * kPathSize] = "";
        WIN32_FIND_DATAA data = {};
        if (SUCCEEDED(link->GetPath(found, sizeof found, &data, SLGP_UNCPRIORITY)) && found[0] &&
            lstrlenA(found) < kPathSize) {
            lstrcpynA(target, found, kPathSize);
            ok = true;
        }
    }
    file->Release();
    link->Release();
    return ok;
}

}  // namespace

const char *FindLastBackslash(const char *path) {
    const char *last = nullptr;
    for (const char *p = path; *p; ++p) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p))) {
            if (!p[1]) break;
            ++p;
        } else if (*p == '\\') {
            last = p;
        }
    }
    return last;
}

int SpliceComponent(char *start, const char *name, int room) {
    char *end = ComponentEnd(start);
    const int componentLength = static_cast<int>(end - start);
    const int nameLength = lstrlenA(name);
    const int tailLength = lstrlenA(end) + 1;  // with its zero
    const int delta = nameLength - componentLength;
    if (componentLength + delta + tailLength > room) return 0;  // keeps its former form
    if (delta > 0) {
        for (int i = tailLength - 1; i >= 0; --i) end[i + delta] = end[i];
    } else if (delta < 0) {
        for (int i = 0; i < tailLength; ++i) end[i + delta] = end[i];
    }
    CopyMemory(start, name, nameLength);
    return 1;
}

void ExpandLongPath(const char *source, char *destination) {
    char work[kPathSize];
    lstrcpynA(work, source, sizeof work);
    if (destination != source) lstrcpynA(destination, source, kPathSize);
    for (;;) {
        char *slash = const_cast<char *>(FindLastBackslash(work));
        if (!slash) break;
        WIN32_FIND_DATAA found;
        HANDLE search = HasWildcard(slash + 1) ? INVALID_HANDLE_VALUE : FindFirstFileA(work, &found);
        if (search != INVALID_HANDLE_VALUE) {
            // A long name the code page cannot write comes with '?' marks for
            // what it lost: the short form given is kept.
            if (found.cFileName[0] && !OnlyDots(found.cFileName) && !HasWildcard(found.cFileName)) {
                const int offset = static_cast<int>(slash - work) + 1;
                SpliceComponent(destination + offset, found.cFileName, kPathSize - offset);
            }
            FindClose(search);
        }
        *slash = '\0';
    }
}

void ResolvePath(char *path) {
    if (!path || !path[0]) return;
    char temporary[kPathSize];
    const bool unc = path[0] == '\\' && path[1] == '\\';
    bool hasColon = false;
    for (const char *p = path; *p; ++p) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) ++p;
        else if (*p == ':') hasColon = true;
    }
    if (!unc && !hasColon) {
        char *filePart = nullptr;
        const DWORD length = GetFullPathNameA(path, sizeof temporary, temporary, &filePart);
        if (length && length < sizeof temporary) lstrcpynA(path, temporary, kPathSize);
    }
    ExpandLongPath(path, path);
    SHFILEINFOA info = {};
    if (SHGetFileInfoA(path, 0, &info, sizeof info, SHGFI_ATTRIBUTES) && (info.dwAttributes & SFGAO_LINK)) {
        if (ReadShortcutTarget(path, temporary)) lstrcpynA(path, temporary, kPathSize);
    }
}

void RememberFolder(PlayerState *state, const char *path) {
    lstrcpynA(state->lastFolder, path, kPathSize);
    char *slash = const_cast<char *>(FindLastBackslash(state->lastFolder));
    if (slash) *slash = '\0';
    else state->lastFolder[0] = '\0';
}

namespace {

// UTF-16 to the code page; false when a character could not be written or
// the result does not fit.
bool ToCodePage(const WCHAR *wide, char *ansi) {
    BOOL lost = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, ansi, kPathSize, nullptr, &lost);
    if (!length) ansi[0] = '\0';
    return length && !lost;
}

}  // namespace

bool AnsiPathFor(const WCHAR *wide, char *ansi) {
    if (ToCodePage(wide, ansi)) return true;
    WCHAR alias[kPathSize];
    char shortName[kPathSize];
    const DWORD length = GetShortPathNameW(wide, alias, kPathSize);
    if (!length || length >= kPathSize || !ToCodePage(alias, shortName)) return false;
    lstrcpynA(ansi, shortName, kPathSize);
    return true;
}

const char *CommandLineFileName(const char *ansiTail, char *alias) {
    // The tail as the run-time library finds it: after the program's name,
    // quoted or not, and the blanks that follow.
    const WCHAR *tail = GetCommandLineW();
    if (*tail == L'"') {
        for (++tail; *tail && *tail != L'"'; ++tail) {}
        if (*tail) ++tail;
    } else {
        while (*tail && *tail != L' ' && *tail != L'\t') ++tail;
    }
    while (*tail == L' ' || *tail == L'\t') ++tail;
    char written[kPathSize];
    if (!*tail || lstrlenW(tail) >= kPathSize || ToCodePage(tail, written)) return ansiTail;
    return AnsiPathFor(tail, alias) ? alias : ansiTail;
}

bool LongNameBeyondCodePage(const char *path, WCHAR *wide) {
    WCHAR given[kPathSize];
    char written[kPathSize];
    if (!path[0] || !MultiByteToWideChar(CP_ACP, 0, path, -1, given, kPathSize)) return false;
    const DWORD length = GetLongPathNameW(given, wide, kPathSize);
    return length && length < kPathSize && !ToCodePage(wide, written);
}
