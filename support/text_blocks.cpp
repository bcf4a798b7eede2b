#include "text_blocks.h"

char *AllocTextBlock(HGLOBAL *handle) {
    *handle = GlobalAlloc(GMEM_ZEROINIT, kTextBlockSize);
    return *handle ? static_cast<char *>(GlobalLock(*handle)) : nullptr;
}

void FreeTextBlock(HGLOBAL *handle, char **text) {
    if (*handle) {
        GlobalUnlock(*handle);
        GlobalFree(*handle);
    }
    *handle = nullptr;
    *text = nullptr;
}

void FindNameMarks(char *from, char **lastDot, char **lastSlash) {
    for (char *p = from; *p; ++p) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p))) {
            if (!p[1]) break;
            ++p;
        } else if (*p == '.') {
            *lastDot = p;
        } else if (*p == '\\') {
            *lastSlash = p;
        }
    }
}

const char *PathExtension(const char *path) {
    char *dot = nullptr;
    char *slash = nullptr;
    FindNameMarks(const_cast<char *>(path), &dot, &slash);  // only reads
    return (dot && dot != path) ? dot + 1 : "";
}

void ModuleLongPath(HINSTANCE module, char *path, char **lastDot, char **lastSlash) {
    path[0] = '\0';
    GetModuleFileNameA(module, path, kTextBlockSize);
    path[kTextBlockSize - 1] = '\0';  // a name cut short is not terminated on older systems
    *lastDot = path;
    *lastSlash = path;
    FindNameMarks(path, lastDot, lastSlash);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    FindClose(search);
    char *name = *lastSlash + (**lastSlash == '\\' ? 1 : 0);
    const int room = static_cast<int>(kTextBlockSize - (name - path));
    if (lstrlenA(found.cFileName) >= room) return;
    lstrcpynA(name, found.cFileName, room);
    *lastDot = *lastSlash;
    FindNameMarks(*lastSlash, lastDot, lastSlash);
}
