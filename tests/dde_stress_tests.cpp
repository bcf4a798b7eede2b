// Malformed input and load against the running player, with bounded counts.
#include "player_process.h"
#include <psapi.h>
#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

constexpr DdeOutcome kDone = DdeOutcome::Done;

class Stress : public PlayerProcess {
protected:
    void SetUp() override {
        wave = dir.File("ten.wav");
        tt::WriteWave(wave, 10000, 8000, 8, 1);
        StartPlayer();
        OpenAtFourSeconds();
    }
    void OpenAtFourSeconds() {
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

// 100 000 strings (TAVOLIN_FUZZ_COUNT) to one player process, from a fuzz
// client process per chunk, the state checked by requests after each chunk.
// More than the 65 536 movable memory handles a process has under Wine, so a
// handle kept per execute stops the player before the end.  (Wine's DDEML
// client loses one per refused execute itself: hence the chunks.)
TEST_F(Stress, FuzzedExecutesAreAnsweredAndChangeNothing) {
    char countText[16] = "";
    const long total = GetEnvironmentVariableA("TAVOLIN_FUZZ_COUNT", countText, sizeof countText) ? atol(countText) : 100000;
    const std::string client = tt::TestsDir() + "\\dde_fuzz_client.exe";
    constexpr long kChunk = 12500;
    for (long sent = 0, chunk = 0; sent < total; sent += kChunk, ++chunk) {
        tt::Program fuzz;
        const std::string line = "\"" + client + "\" " + service + " " + std::to_string(std::min(kChunk, total - sent)) +
                                 " " + std::to_string(20261207 + chunk) + " \"" + dir.path + "\"";
        ASSERT_TRUE(tt::StartProcess(fuzz, line)) << "chunk " << chunk << ", error " << GetLastError();
        EXPECT_EQ(fuzz.WaitExit(600000), 0) << "chunk " << chunk;
        ExpectStateUnchanged();
    }
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
    const std::string client = tt::TestsDir() + "\\dde_load_client.exe";
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
