// A load client for the DDE load test: sends mixed executes and requests to
// the player for the given seconds and prints "sent failed".  Exit code 0
// when nothing failed.   dde_load_client SERVICE SECONDS SEED
#include "dde_link.h"
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
    if (argc < 4) return 3;
    const std::string service = argv[1];
    const DWORD seconds = static_cast<DWORD>(atoi(argv[2]));
    unsigned seed = static_cast<unsigned>(atoi(argv[3]));
    // All are accepted while a file is open and paused.
    static const char *const kExecutes[] = {"[Zero()]", "[SeekRel(0)]", "[SeekTo(100)]", "[Pause()]", "[Top()]"};
    static const char *const kItems[] = {"GetPos", "GetLen", "GetMode", "GetPos3", "GetLen2"};
    // A conversation per transaction: Wine's DDEML leaves stale
    // acknowledgements on a conversation that has been answered.
    DdeLink link;
    if (!link.Connects(service, "Command")) return 2;
    long sent = 0, failed = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000;) {
        seed = seed * 1103515245u + 12345u;
        const unsigned pick = (seed >> 16) % 10;
        DdeOutcome outcome;
        if (pick < 5) {
            const std::string command = kExecutes[pick];
            outcome = link.Execute(service, "Command", command, 10000);
        } else {
            std::string reply;
            outcome = link.Request(service, "Command", kItems[pick - 5], &reply, 10000);
            if (outcome == DdeOutcome::Done && reply.empty()) outcome = DdeOutcome::NotProcessed;
        }
        ++sent;
        if (outcome != DdeOutcome::Done) ++failed;
    }
    printf("%ld %ld\n", sent, failed);
    return failed ? 1 : 0;
}
