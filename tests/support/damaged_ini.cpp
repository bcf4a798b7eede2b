#include "damaged_ini.h"
#include <cstdlib>
#include <vector>

namespace tt {

namespace {

// A small generator of our own, the same on every build.
struct Random {
    unsigned state;
    unsigned Next() {
        state = state * 1103515245u + 12345u;
        return (state >> 8) & 0xFFFFFF;
    }
    unsigned Below(unsigned n) { return n ? Next() % n : 0; }
};

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string RandomBytes(Random &r, size_t n) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i) bytes.push_back(static_cast<char>(r.Below(256)));
    return bytes;
}

const char *const kOddValues[] = {
    "2147483648", "-2147483649", "4294967296", "2147483647", "-2147483648", "-1", "-5", "0", "",
    "99999999999999999999", "0x10", " 12", "12abc", "+7", "1,2", ",,,", "\x81", "\x82\xA0\x82",
    "C:\\no\\such\\file.wav", "1000000", "1,2147483647,-2147483648", "1,5000,5000", "1,-3000,10", "7,-1,99999",
};

std::string OddValue(Random &r) {
    switch (r.Below(4)) {
    case 0: return std::string(10000, static_cast<char>('a' + r.Below(26)));
    case 1: return RandomBytes(r, 1 + r.Below(40));
    default: return kOddValues[r.Below(sizeof kOddValues / sizeof *kOddValues)];
    }
}

void Mutate(Random &r, std::vector<std::string> &lines) {
    if (lines.empty()) {
        lines.push_back(RandomBytes(r, 20));
        return;
    }
    std::string &line = lines[r.Below(static_cast<unsigned>(lines.size()))];
    const size_t equals = line.find('=');
    switch (r.Below(9)) {
    case 0:
    case 1:
    case 2:  // an odd value
        if (equals != std::string::npos) line = line.substr(0, equals + 1) + OddValue(r);
        break;
    case 3:  // a key without its value, or without its '='
        if (equals != std::string::npos) line = line.substr(0, equals + (r.Below(2) ? 1 : 0));
        break;
    case 4:  // a line cut short
        line = line.substr(0, r.Below(static_cast<unsigned>(line.size()) + 1));
        break;
    case 5: {  // a section twice, the second with other values
        std::vector<std::string> copy;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].empty() || lines[i][0] != '[') continue;
            copy.push_back(lines[i]);
            for (size_t k = i + 1; k < lines.size() && (lines[k].empty() || lines[k][0] != '['); ++k) {
                const size_t eq = lines[k].find('=');
                copy.push_back(eq == std::string::npos ? lines[k] : lines[k].substr(0, eq + 1) + OddValue(r));
            }
            if (r.Below(2)) break;
        }
        lines.insert(lines.end(), copy.begin(), copy.end());
        break;
    }
    case 6: {  // a count far above the entries there are, or below zero
        std::vector<size_t> counts;
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].compare(0, 6, "Count=") == 0) counts.push_back(i);
        const std::string value = r.Below(4) ? std::to_string(100 + r.Below(100000)) : OddValue(r);
        if (counts.empty()) lines.insert(lines.begin() + r.Below(static_cast<unsigned>(lines.size())), "Count=" + value);
        else lines[counts[r.Below(static_cast<unsigned>(counts.size()))]] = "Count=" + value;
        break;
    }
    case 7:  // a line of random bytes
        lines.insert(lines.begin() + r.Below(static_cast<unsigned>(lines.size()) + 1), RandomBytes(r, r.Below(300)));
        break;
    default:  // numbered keys beyond the count, and a lead byte at a line's end
        lines.push_back(std::to_string(r.Below(1000)) + "=" + OddValue(r) + "\x81");
        break;
    }
}

}  // namespace

std::string DamagedIni(const std::string &good, unsigned seed, IniCase *kind) {
    Random r{seed * 2654435761u + 1};
    *kind = IniCase::Text;
    switch (seed % 97) {
    case 13: *kind = IniCase::Huge; break;
    case 29: *kind = IniCase::Folder; return "";
    case 61: *kind = IniCase::Locked; break;
    default: break;
    }
    std::vector<std::string> lines = Lines(good);
    const unsigned mutations = 1 + r.Below(6);
    for (unsigned i = 0; i < mutations; ++i) Mutate(r, lines);
    std::string text;
    for (const std::string &line : lines) text += line + (r.Below(20) ? "\r\n" : "\n");
    if (r.Below(8) == 0) text = text.substr(0, r.Below(static_cast<unsigned>(text.size()) + 1));  // cut anywhere
    if (*kind == IniCase::Huge) {
        std::string filler;
        while (filler.size() < 10 * 1024 * 1024) filler += "Filler" + std::to_string(filler.size()) + "=" + std::string(200, 'f') + "\r\n";
        text = "[Padding]\r\n" + filler + text;
    }
    return text;
}

HANDLE PlaceIni(const std::string &path, const std::string &text, IniCase kind) {
    RemoveIni(path);
    if (kind == IniCase::Folder) {
        CreateDirectoryA(path.c_str(), nullptr);
        return nullptr;
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    if (kind == IniCase::Locked) return file;  // no one else may read or write it while it is held
    CloseHandle(file);
    return nullptr;
}

void RemoveIni(const std::string &path) {
    DeleteFileA(path.c_str());
    RemoveDirectoryA(path.c_str());
}

unsigned FirstSeed() {
    const char *one = getenv("TAVOLIN_SETTINGS_SEED");
    if (one) return static_cast<unsigned>(strtoul(one, nullptr, 10));
    const char *first = getenv("TAVOLIN_SETTINGS_FIRST");
    return first ? static_cast<unsigned>(strtoul(first, nullptr, 10)) : 1;
}

unsigned SeedCount(unsigned fallback) {
    if (getenv("TAVOLIN_SETTINGS_SEED")) return 1;
    const char *count = getenv("TAVOLIN_SETTINGS_CASES");
    return count ? static_cast<unsigned>(strtoul(count, nullptr, 10)) : fallback;
}

}  // namespace tt
