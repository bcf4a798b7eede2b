// One section of a settings file read at once. Each read of the file is a
// pass over all of it (some 55 ms for a file of 10 MB under Wine, more in the
// 32-bit build), and a mapper reads up to some 470 numbered keys at start-up.
#pragma once
#include <windows.h>

struct SettingsSection {
    SettingsSection(const char *section, const char *path);
    ~SettingsSection();
    SettingsSection(const SettingsSection &) = delete;
    SettingsSection &operator=(const SettingsSection &) = delete;
    // As GetPrivateProfileStringA: the first value of the key (case
    // ignored), enclosing quotes taken off, cut to size - 1; `fallback` when
    // the key is not there or has no '='.
    void Value(const char *key, char *out, int size, const char *fallback = "") const;
    // As GetPrivateProfileIntA: `fallback` for a key missing or empty, else
    // the number its value begins with (after blanks, with a sign; decimal,
    // or hexadecimal, octal or binary after "0x", "0o" or "0b").
    int Int(const char *key, int fallback) const;

private:
    char *text_ = nullptr;  // "key=value\0...\0\0"
};
