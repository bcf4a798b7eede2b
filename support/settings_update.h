// A settings file rewritten as one. The profile functions rewrite the whole
// file at each write, in place: a full disk leaves it cut short, and under
// Wine the write still says it succeeded. Here every write goes into a copy
// beside the file, and the copy takes the file's place only when it reads
// back from disk with every value written and every key the file held. A
// full disk, a read-only or a locked file leaves the file as it was.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct SettingsUpdate {
    explicit SettingsUpdate(const char *path);
    ~SettingsUpdate();  // a copy not put in place is removed
    SettingsUpdate(const SettingsUpdate &) = delete;
    SettingsUpdate &operator=(const SettingsUpdate &) = delete;
    // As WritePrivateProfileStringA on the file: a null value removes the
    // key, a null key the section.
    void Write(const char *section, const char *key, const char *value);
    // Puts the copy in place of the file. FALSE, with the file untouched,
    // when a write failed or the copy on disk is not what was written.
    BOOL Commit();

    // A key of the file: "section\1key" in lower case, and its value with
    // the blanks around it taken off.
    struct Entry {
        std::string name;
        std::string value;
        bool exact;  // the value must read back as it is
    };

private:
    char path_[MAX_PATH] = "";
    char copy_[MAX_PATH + 8] = "";
    bool failed_ = false;
    bool placed_ = false;
    std::vector<Entry> expected_;  // what the copy must hold at the end
};

