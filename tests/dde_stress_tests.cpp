// Malformed input and load against the running player, with bounded counts.
#include <gtest/gtest-spi.h>
#include "player_process.h"
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

TEST_F(Stress, EightClientsForTwentySecondsLeaveNoGrowth) {
    constexpr int kClients = 8;
    constexpr DWORD kSeconds = 20;
    const std::string client = tt::TestsDir() + "\\dde_load_client.exe";
    std::vector<tt::Program> clients(kClients);
    for (int i = 0; i < kClients; ++i)
        ASSERT_TRUE(tt::StartProcess(clients[i], "\"" + client + "\" " + service + " " + std::to_string(kSeconds) + " " + std::to_string(i + 1)));
    std::vector<tt::Usage> samples;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kSeconds * 1000) {
        samples.push_back(tt::MeasureProcess(player.info.hProcess));
        tt::Pump(500);
    }
    for (auto &c : clients) EXPECT_EQ(c.WaitExit(30000), 0);
    ASSERT_GE(samples.size(), 8u);
    tt::ExpectFlat("load", samples, 0);
    EXPECT_TRUE(player.Running());
    EXPECT_EQ(Get("GetLen"), "10000");
}

}  // namespace

namespace {

class Playlist : public PlayerProcess {};

}  // namespace

// A playlist run over DDE: Wave and MP3 files opened in turn, each played,
// paused, sought and closed, with errors shown (a seek or close while a Wave
// plays waits about a second in Wine's waveaudio, so the seeks are made
// paused): no message box, and (over a long run)
// the player's memory and object counts flat. make soak opens 2 000
// (TAVOLIN_PLAYLIST_OPENS). The commands go over one conversation, as a
// remote's do: Wine keeps some 100-200 bytes of every conversation a server
// has held (bench/bare_dde_executes.cpp), which would hide the opens' own.
TEST_F(Playlist, WaveAndMp3OpensInTurnLeaveNoBoxAndNoGrowth) {
    const char *asked = getenv("TAVOLIN_PLAYLIST_OPENS");
    const int total = asked ? atoi(asked) : 40;
    tt::Stage(dir, "VBMP3.dll", "VBMP3.dll");
    const std::string waves[] = {dir.File("a.wav"), dir.File("b.wav")};
    tt::WriteWave(waves[0], 3000);
    tt::WriteWave(waves[1], 2000, 8000, 8, 1);
    const std::string files[] = {waves[0], tt::TestsDir() + "\\mp3\\cbr.mp3", waves[1],
                                 tt::TestsDir() + "\\mp3\\mono22.mp3"};
    StartPlayer("Tavolin.exe", true);
    HCONV conversation = nullptr;
    for (int i = 0; i < 100 && !(conversation = link.Connect(service, "Command")); ++i) tt::Pump(100);
    ASSERT_TRUE(conversation);
    auto Exec = [&](const std::string &command) { return link.ExecuteOn(conversation, command, 10000); };
    std::vector<tt::Usage> usage;
    const DWORD start = GetTickCount();
    size_t afterFirstMinute = 0;
    int opened = 0;
    for (int i = 0; i < total; ++i) {
        const std::string &file = files[i % 4];
        if (Exec("[Open(" + file + ")]") == DdeOutcome::Done) ++opened;
        EXPECT_EQ(Exec("[Play()]"), DdeOutcome::Done) << file;
        tt::Pump(20);
        EXPECT_EQ(Exec("[Pause()]"), DdeOutcome::Done) << file;
        EXPECT_EQ(Exec("[SeekTo(1000)]"), DdeOutcome::Done) << file;
        EXPECT_EQ(Exec("[SeekRel(-300)]"), DdeOutcome::Done) << file;
        EXPECT_EQ(Exec("[Close()]"), DdeOutcome::Done) << file;
        if (i % 10 == 9) {
            ASSERT_TRUE(tt::ProcessWindows(player.info.dwProcessId, "#32770").empty()) << "a message box, open " << i;
            usage.push_back(tt::MeasureProcess(player.info.hProcess));
            if (!afterFirstMinute && GetTickCount() - start >= 60000) afterFirstMinute = usage.size();
        }
    }
    printf("playlist soak: %d opens asked, %d opened; the player's resident bytes %lu -> %lu, %lu s\n", total, opened,
           static_cast<unsigned long>(usage.front().workingSet), static_cast<unsigned long>(usage.back().workingSet),
           (GetTickCount() - start) / 1000);
    EXPECT_EQ(opened, total);
    if (afterFirstMinute) tt::ExpectSlope("player", usage, afterFirstMinute, 10, 512);  // a long run only: per open
    DdeDisconnect(conversation);
    EXPECT_TRUE(player.Close());
}

namespace {

// The slope check can fail: a steady leak of 40 bytes an operation under the
// noise of whole pages and heap steps is told from none.
TEST(MemorySlope, ASteadyLeakIsToldFromPageNoise) {
    auto run = [](double leakPerOp) {
        std::vector<tt::Usage> samples;
        for (int i = 0; i < 400; ++i) {
            const SIZE_T noise = static_cast<SIZE_T>((i * 7919) % 5) * 4096 + (i % 97 == 0 ? 65536 : 0);
            const SIZE_T resident = 30000000 + noise;  // the leak only in the private bytes
            samples.push_back({resident + static_cast<SIZE_T>(leakPerOp * 50 * i), resident, 10, 5, 40});
        }
        tt::ExpectSlope("made up", samples, 20, 50, 2);
    };
    run(0);
    EXPECT_NONFATAL_FAILURE(run(40), "bytes per operation");
}

}  // namespace
