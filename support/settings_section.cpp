#include "settings_section.h"

namespace {

constexpr DWORD kFirstSize = 16 * 1024;
constexpr DWORD kLargestSize = 16 * 1024 * 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

SettingsSection::SettingsSection(const char *section, const char *path) {
    for (DWORD size = kFirstSize; size <= kLargestSize; size *= 2) {
        char *buffer = static_cast<char *>(GlobalAlloc(GMEM_FIXED, size));
        if (!buffer) return;
        const DWORD copied = GetPrivateProfileSectionA(section, buffer, size, path);
        if (copied < size - 2) {
            buffer[copied] = buffer[copied + 1] = '\0';
            text_ = buffer;
            return;
        }
        GlobalFree(buffer);  // cut short: again with room for it all
    }
}

SettingsSection::~SettingsSection() {
    if (text_) GlobalFree(text_);
}

int SettingsSection::Int(const char *key, int fallback) const {
    char text[30];  // the profile function reads no more of it
    Value(key, text, sizeof text);
    if (!text[0]) return fallback;
    const char *p = text;
    while (*p && static_cast<BYTE>(*p) <= ' ') ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    ULONG base = 10;  // or as a "0x", "0o" or "0b" before the digits says
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) base = 16;
    if (p[0] == '0' && (p[1] == 'o' || p[1] == 'O')) base = 8;
    if (p[0] == '0' && (p[1] == 'b' || p[1] == 'B')) base = 2;
    if (base != 10) p += 2;
    ULONG value = 0;
    for (;; ++p) {
        ULONG digit;
        if (*p >= '0' && *p <= '9') digit = static_cast<ULONG>(*p - '0');
        else if (*p >= 'a' && *p <= 'z') digit = static_cast<ULONG>(*p - 'a' + 10);
        else if (*p >= 'A' && *p <= 'Z') digit = static_cast<ULONG>(*p - 'A' + 10);
        else break;
        if (digit >= base) break;
        value = value * base + digit;
    }
    return static_cast<int>(negative ? 0u - value : value);
}

void SettingsSection::Value(const char *key, char *out, int size, const char *fallback) const {
    if (size <= 0) return;
    lstrcpynA(out, fallback, size);
    const int keyLength = lstrlenA(key);
    for (const char *line = text_; line && *line; line += lstrlenA(line) + 1) {
        const char *p = line;
        while (IsBlank(*p)) ++p;
        const char *equals = p;
        while (*equals && *equals != '=') ++equals;
        const char *keyEnd = equals;
        while (keyEnd > p && IsBlank(keyEnd[-1])) --keyEnd;
        if (keyEnd - p != keyLength || CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, p, keyLength, key,
                                                        keyLength) != CSTR_EQUAL)
            continue;
        if (!*equals) return;  // a key without '=': as if it were not there
        const char *value = equals + 1;
        while (IsBlank(*value)) ++value;
        const char *end = value + lstrlenA(value);
        while (end > value && IsBlank(end[-1])) --end;
        if (end - value >= 2 && (*value == '"' || *value == '\'') && end[-1] == *value) {
            ++value;
            --end;
        }
        int n = static_cast<int>(end - value);
        if (n > size - 1) n = size - 1;
        CopyMemory(out, value, n);
        out[n] = '\0';
        return;
    }
}
