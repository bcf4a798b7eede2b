// Malformed input and load against the running player, with bounded counts.
#include "player_process.h"
#include <psapi.h>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

constexpr DdeOutcome kDone = DdeOutcome::Done;
constexpr DdeOutcome kRefused = DdeOutcome::NotProcessed;

const char *const kWords[] = {"Open", "Play", "Pause", "Top", "Last", "SeekRel", "SeekTo", "Zero", "Close",
                              "GetPos", "GetPos2", "GetPos3", "GetLen", "GetLen2", "GetLen3", "OpenForRecord",
                              "Record", "StopRecord", "SaveAs", "PlayPause", "Repeat"};

// True when the text (up to its first NUL) could be run by the language.
bool CouldRun(const std::string &data) {
    const std::string text = data.substr(0, data.find('\0'));
    if (text.size() < 2 || text.front() != '[' || text.back() != ']') return false;
    const std::string inner = text.substr(1, text.size() - 2);
    const size_t open = inner.find('(');
    if (open == std::string::npos || inner.empty() || inner.back() != ')') return false;
    const std::string word = inner.substr(0, open);
    for (const char *w : kWords)
        if (word == w) return true;
    return false;
}

class Stress : public PlayerProcess {
protected:
    void SetUp() override {
        wave = dir.File("ten.wav");
        tt::WriteWave(wave, 10000, 8000, 8, 1);
        StartPlayer();
        ASSERT_EQ(Exec("[Open(" + wave + ")]"), kDone);
        ASSERT_EQ(Exec("[SeekTo(4000)]"), kDone);
    }
    void ExpectStateUnchanged() {
        EXPECT_EQ(Get("GetLen"), "10000");
        EXPECT_EQ(Get("GetPos"), "4000");
        EXPECT_EQ(Get("GetMode"), "525");
    }
    std::string wave;
};

std::string Generate(std::mt19937 &random, const std::string &folder) {
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    switch (pick(7)) {
    case 0: {  // random bytes, NULs included
        std::string s(pick(700), '\0');
        for (char &c : s) c = static_cast<char>(random());
        return s;
    }
    case 1: {  // brackets, parentheses and friends in every arrangement
        static const char kAlphabet[] = "[]()[]() ,+-09aP\\";
        std::string s(pick(24), ' ');
        for (char &c : s) c = kAlphabet[pick(sizeof kAlphabet - 1)];
        return s;
    }
    case 2: {  // a real word, spelled or framed wrongly
        std::string w = kWords[pick(21)];
        switch (pick(5)) {
        case 0: w[0] = static_cast<char>(w[0] ^ 0x20); return "[" + w + "()]";
        case 1: return "[" + w + "() ]";
        case 2: return " [" + w + "()]";
        case 3: return "[" + w + "(" + std::string(pick(3), ')') + "]" + std::string(pick(2), ']');
        default: return w + "()";
        }
    }
    case 3: {  // lengths around the buffers' limits
        static const int kLengths[] = {258, 259, 260, 261, 518, 519, 520, 521, 1000};
        const int n = kLengths[pick(9)];
        std::string s = "[Bogus(" + std::string(n > 9 ? n - 9 : 0, '7') + ")]";
        return s.substr(0, n);
    }
    case 4: {  // paths too long for the name buffers
        const std::string path = folder + "\\" + std::string(300, 'q') + ".wav";
        return pick(2) ? "[Open(" + path + ")]" : "[SaveAs(" + path + ")]";
    }
    case 5: {  // a valid command with a NUL inside, cut short
        std::string s = std::string("[Zero()]");
        s.insert(static_cast<size_t>(1 + pick(6)), 1, '\0');
        return s;
    }
    default:  // commands refused in this state
        return pick(2) ? "[Record()]" : "[StopRecord()]";
    }
}

TEST_F(Stress, FuzzedExecutesAreAnsweredAndChangeNothing) {
    std::mt19937 random(20261207);
    // A conversation per string: after a refused execute Wine's DDEML leaves
    // a stale acknowledgement on the conversation that answers the next one.
    const UINT formats[] = {CF_TEXT, CF_TEXT, CF_OEMTEXT, CF_UNICODETEXT, 0xC123};
    // 20 000 strings by default: each needs a conversation of its own (about
    // 13 ms under Wine), so TAVOLIN_FUZZ_COUNT=100000 takes some 22 minutes.
    char countText[16] = "";
    const long target = GetEnvironmentVariableA("TAVOLIN_FUZZ_COUNT", countText, sizeof countText) ? atol(countText) : 20000;
    long sent = 0, refused = 0, unanswered = 0;
    const DWORD started = GetTickCount();
    for (int i = 0; sent < target; ++i) {
        std::string data = Generate(random, dir.path);
        if (CouldRun(data)) continue;
        if (random() % 3) data.push_back('\0');  // often terminated, sometimes not
        // (Wine's DDEML never delivers an execute without data; the client
        // would only wait out its timeout.)
        if (data.empty()) continue;
        const UINT format = formats[random() % 5];
        const DdeOutcome outcome = link.Execute(service, "Command", data.data(), static_cast<DWORD>(data.size()), format, 10000);
        ++sent;
        if (outcome == kRefused) ++refused;
        else if (outcome != kDone) ++unanswered;
        if (outcome == kDone) ADD_FAILURE() << "processed: " << data.substr(0, 80);
        if (sent % 20000 == 0) ExpectStateUnchanged();
    }
    ExpectStateUnchanged();
    printf("fuzz: %ld sent, %ld refused, %ld unanswered in %lu ms\n", sent, refused, unanswered, GetTickCount() - started);
    EXPECT_EQ(unanswered, 0);
    EXPECT_TRUE(player.Running());
    EXPECT_TRUE(player.Close());
}

struct Usage {
    SIZE_T privateBytes;
    DWORD user, gdi, handles;
};

Usage Measure(HANDLE process) {
    Usage u = {};
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&memory), sizeof memory);
    u.privateBytes = memory.PrivateUsage;
    u.user = GetGuiResources(process, GR_USEROBJECTS);
    u.gdi = GetGuiResources(process, GR_GDIOBJECTS);
    GetProcessHandleCount(process, &u.handles);
    return u;
}

TEST_F(Stress, EightClientsForTwentySecondsLeaveNoGrowth) {
    constexpr int kClients = 8;
    constexpr DWORD kSeconds = 20;
    const std::string client = tt::BinDir() + "\\..\\cmake-x64\\tests\\dde_load_client.exe";
    std::vector<tt::Program> clients(kClients);
    for (int i = 0; i < kClients; ++i)
        ASSERT_TRUE(tt::StartProcess(clients[i], "\"" + client + "\" " + service + " " + std::to_string(kSeconds) + " " + std::to_string(i + 1)));
    std::vector<Usage> samples;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kSeconds * 1000) {
        samples.push_back(Measure(player.info.hProcess));
        tt::Pump(500);
    }
    for (auto &c : clients) EXPECT_EQ(c.WaitExit(30000), 0);
    ASSERT_GE(samples.size(), 8u);
    const size_t quarter = samples.size() / 4;
    auto mean = [&](size_t from, size_t to, auto field) {
        double sum = 0;
        for (size_t i = from; i < to; ++i) sum += static_cast<double>(field(samples[i]));
        return sum / static_cast<double>(to - from);
    };
    struct Check { const char *name; double first, last; };
    const Check checks[] = {
        {"private bytes", mean(0, quarter, [](const Usage &u) { return u.privateBytes; }),
         mean(samples.size() - quarter, samples.size(), [](const Usage &u) { return u.privateBytes; })},
        {"USER objects", mean(0, quarter, [](const Usage &u) { return u.user; }),
         mean(samples.size() - quarter, samples.size(), [](const Usage &u) { return u.user; })},
        {"GDI objects", mean(0, quarter, [](const Usage &u) { return u.gdi; }),
         mean(samples.size() - quarter, samples.size(), [](const Usage &u) { return u.gdi; })},
        {"kernel handles", mean(0, quarter, [](const Usage &u) { return u.handles; }),
         mean(samples.size() - quarter, samples.size(), [](const Usage &u) { return u.handles; })},
    };
    for (const Check &c : checks) {
        printf("load: %s %.0f -> %.0f\n", c.name, c.first, c.last);
        EXPECT_LE(c.last, c.first * 1.05 + 2) << c.name;  // (+2: counts of zero where the platform has none)
    }
    EXPECT_TRUE(player.Running());
    EXPECT_EQ(Get("GetLen"), "10000");
}

}  // namespace
