#include "files/recent_files.h"
#include "res/resource.h"
#include "host_system.h"
#include "settings_section.h"

namespace {
constexpr int kCompactChars = 51;   // 50 characters and the zero
}

void RecentFilesInit(RecentFiles *list) {
    list->entryCount = 0;
    for (auto &entry : list->entries) entry[0] = '\0';
    list->noCompactPath = 0;
    list->compactPath = nullptr;
    list->ownsShlwapi = 0;
    list->shlwapiModule = GetModuleHandleA("shlwapi.dll");
    if (!list->shlwapiModule) {
        list->shlwapiModule = LoadSystemLibrary("shlwapi.dll");
        if (list->shlwapiModule) list->ownsShlwapi = 1;
    }
    if (list->shlwapiModule)
        list->compactPath = reinterpret_cast<PathCompactPathExProc>(
            reinterpret_cast<void *>(GetProcAddress(list->shlwapiModule, "PathCompactPathExA")));
}

void RecentFilesRelease(RecentFiles *list) {
    if (list->ownsShlwapi && list->shlwapiModule) FreeLibrary(list->shlwapiModule);
    list->shlwapiModule = nullptr;
    list->ownsShlwapi = 0;
    list->compactPath = nullptr;
}

int RecentFilesAdd(RecentFiles *list, const char *name, HMENU menu) {
    int i = 0;
    while (i < list->entryCount && lstrcmpiA(list->entries[i], name) != 0) ++i;
    const int oldCount = list->entryCount;
    for (int n = i; n >= 1; --n)
        if (n < kRecentMax) lstrcpynA(list->entries[n], list->entries[n - 1], kPathSize);
    lstrcpynA(list->entries[0], name, kPathSize);
    if (i == oldCount && list->entryCount < kRecentMax) ++list->entryCount;
    return RecentFilesBuildMenu(list, menu);
}

const char *RecentFilesEntry(const RecentFiles *list, int index) {
    return index >= 0 && index < list->entryCount ? list->entries[index] : "";
}

void FormatRecentItem(const RecentFiles *list, int index, char *out) {
    char compact[kPathSize];
    const char *shown = list->entries[index];
    if (!list->noCompactPath && list->compactPath &&
        list->compactPath(compact, list->entries[index], kCompactChars, 0))
        shown = compact;
    char *p = out + wsprintfA(out, "&%d ", (index + 1) % 10);
    for (const char *s = shown; *s; ++s) {
        if (*s == '&') *p++ = '&';
        *p++ = *s;
    }
    *p = '\0';
}

int RecentFilesBuildMenu(RecentFiles *list, HMENU menu) {
    if (list->entryCount <= 0) return 1;
    const int count = GetMenuItemCount(menu);
    int position = -1;
    for (int i = 0; i < count; ++i)
        if (GetMenuItemID(menu, i) == IDM_MRU_FIRST) { position = i; break; }
    if (position < 0) return 0;
    for (UINT id = IDM_MRU_FIRST; id <= IDM_MRU_LAST; ++id) DeleteMenu(menu, id, MF_BYCOMMAND);
    for (int i = 0; i < list->entryCount; ++i) {
        char text[kRecentItemSize];
        FormatRecentItem(list, i, text);
        InsertMenuA(menu, position + i, MF_BYPOSITION | MF_STRING, IDM_MRU_FIRST + i, text);
    }
    return 1;
}

int RecentFilesRead(RecentFiles *list, const char *section, const char *path) {
    list->entryCount = 0;
    const SettingsSection names(section, path);
    for (int k = 1; k <= kRecentMax; ++k) {
        char key[16];
        wsprintfA(key, "MRU%d", k);
        names.Value(key, list->entries[list->entryCount], kPathSize);
        if (list->entries[list->entryCount][0]) ++list->entryCount;
    }
    list->noCompactPath = names.Int("NoCompactPath", list->noCompactPath);
    return 1;
}

int RecentFilesWrite(const RecentFiles *list, const char *section, SettingsUpdate &file) {
    for (int k = 1; k <= kRecentMax; ++k) {
        char key[16];
        wsprintfA(key, "MRU%d", k);
        file.Write(section, key, k - 1 < list->entryCount ? list->entries[k - 1] : nullptr);
    }
    return 1;
}
