// The recent-file list and its File menu items.
#pragma once
#include <windows.h>
#include "app/player_state.h"
#include "settings_update.h"

void RecentFilesInit(RecentFiles *list);
void RecentFilesRelease(RecentFiles *list);
int RecentFilesAdd(RecentFiles *list, const char *name, HMENU menu);
const char *RecentFilesEntry(const RecentFiles *list, int index);
int RecentFilesBuildMenu(RecentFiles *list, HMENU menu);
int RecentFilesRead(RecentFiles *list, const char *section, const char *path);
int RecentFilesWrite(const RecentFiles *list, const char *section, SettingsUpdate &file);
void FormatRecentItem(const RecentFiles *list, int index, char *out);   // 600-byte buffer
constexpr int kRecentItemSize = 600;
