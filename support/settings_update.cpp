#include "settings_update.h"
#include <algorithm>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trimmed(const char *begin, const char *end) {
    while (begin < end && IsBlank(*begin)) ++begin;
    while (end > begin && IsBlank(end[-1])) --end;
    return std::string(begin, end);
}

// Plain text: what the profile functions give back byte for byte. A damaged
// file's other bytes may come back changed (a lead byte without its trail),
// so such keys are looked for by name only and such names not at all.
bool IsPlain(const std::string &text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

std::string Lowered(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string EntryName(const char *section, const char *key) {
    return Lowered(std::string(section) + '\1' + (key ? key : ""));
}

bool Earlier(const SettingsUpdate::Entry &a, const SettingsUpdate::Entry &b) { return a.name < b.name; }

// The whole file; a missing file reads as empty when `missingIsEmpty`.
bool ReadWhole(const char *path, std::string *text, bool missingIsEmpty) {
    text->clear();
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return missingIsEmpty && GetLastError() == ERROR_FILE_NOT_FOUND;
    bool ok = true;
    char buffer[16 * 1024];
    for (DWORD got = 0; (ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got;) text->append(buffer, got);
    CloseHandle(file);
    return ok;
}

bool WriteWhole(const char *path, const std::string &text) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size();
    ok = FlushFileBuffers(file) && ok;
    CloseHandle(file);
    return ok;
}

// The keys of a settings file's text in their order; a line without '=' is
// a key with an empty value, lines before any section are left out.
std::vector<SettingsUpdate::Entry> ParseSettingsText(const std::string &text) {
    std::vector<SettingsUpdate::Entry> entries;
    std::string section;
    bool inSection = false;
    const char *end = text.data() + text.size();
    for (const char *line = text.data(); line < end;) {
        const char *lineEnd = line;
        while (lineEnd < end && *lineEnd != '\n' && *lineEnd != '\r') ++lineEnd;
        const char *p = line;
        while (p < lineEnd && IsBlank(*p)) ++p;
        if (p < lineEnd && *p == '[') {
            const char *close = p + 1;
            while (close < lineEnd && *close != ']') ++close;
            section = Trimmed(p + 1, close);
            inSection = true;
        } else if (inSection && p < lineEnd) {
            const char *equals = p;
            while (equals < lineEnd && *equals != '=') ++equals;
            SettingsUpdate::Entry entry;
            entry.name = Lowered(section + '\1' + Trimmed(p, equals));
            if (equals < lineEnd) entry.value = Trimmed(equals + 1, lineEnd);
            entry.exact = IsPlain(entry.value);
            entries.push_back(entry);
        }
        line = lineEnd;
        while (line < end && (*line == '\n' || *line == '\r')) ++line;
    }
    return entries;
}

}  // namespace

SettingsUpdate::SettingsUpdate(const char *path) {
    lstrcpynA(path_, path, sizeof path_);
    wsprintfA(copy_, "%s.new", path_);
    // The copy starts as the file, written anew (not CopyFile, whose copy
    // keeps the file's time and may pass for one the profile functions read
    // before).
    std::string text;
    if (!ReadWhole(path_, &text, true) || !WriteWhole(copy_, text)) {
        failed_ = true;
        return;
    }
    for (SettingsUpdate::Entry &entry : ParseSettingsText(text))
        if (IsPlain(entry.name)) expected_.push_back(entry);
}

SettingsUpdate::~SettingsUpdate() {
    if (!placed_) DeleteFileA(copy_);
}

void SettingsUpdate::Write(const char *section, const char *key, const char *value) {
    if (failed_) return;
    if (!WritePrivateProfileStringA(section, key, value, copy_)) {
        failed_ = true;
        return;
    }
    const std::string name = EntryName(section, key);
    expected_.erase(std::remove_if(expected_.begin(), expected_.end(),
                                   [&](const Entry &entry) {
                                       return key ? entry.name == name
                                                  : entry.name.compare(0, name.size(), name) == 0;
                                   }),
                    expected_.end());
    if (key && value) expected_.push_back({name, Trimmed(value, value + lstrlenA(value)), true});
}

BOOL SettingsUpdate::Commit() {
    if (failed_ || placed_) return FALSE;
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, copy_);  // flushed (Wine says FALSE here, always)
    std::string text;
    if (!ReadWhole(copy_, &text, false)) return FALSE;
    std::vector<Entry> found = ParseSettingsText(text);
    std::stable_sort(found.begin(), found.end(), Earlier);
    for (const Entry &entry : expected_) {
        const auto same = std::equal_range(found.begin(), found.end(), entry, Earlier);
        if (std::none_of(same.first, same.second,
                         [&](const Entry &e) { return !entry.exact || e.value == entry.value; }))
            return FALSE;
    }
    HANDLE file = CreateFileA(copy_, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    const BOOL flushed = FlushFileBuffers(file);
    CloseHandle(file);
    if (!flushed) return FALSE;
    // ReplaceFile keeps the file's attributes and security; a read-only file
    // is left alone, a locked one refuses. A file not there yet is moved in.
    const DWORD attributes = GetFileAttributesA(path_);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        placed_ = MoveFileExA(copy_, path_, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    else if (!(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        placed_ = ReplaceFileA(path_, copy_, nullptr, 0, nullptr, nullptr);
    return placed_ ? TRUE : FALSE;
}
