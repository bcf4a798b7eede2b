// TavolinCtl: sends commands to the running player over DDE, for batch files.
//   TavolinCtl [--service NAME] [--topic NAME] [--timeout MS] exec "[Play()]"
//   TavolinCtl [...] get GetPos
//   TavolinCtl [...] get GetPos exec "[Speed(200)]"   (in turn, moments apart)
// Exit code: 0 done, 1 not processed (or no data), 2 player not reachable, 3 usage;
// the first that is not done stops the rest.
#include "dde_link.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>

static int Usage() {
    fprintf(stderr, "usage: TavolinCtl [--service NAME] [--topic NAME] [--timeout MS] (exec COMMAND | get ITEM)...\n");
    return 3;
}

int main(int argc, char **argv) {
    std::string service = "Tavolin", topic = "Command";
    DWORD timeout = 5000;
    int i = 1;
    for (; i + 1 < argc && strncmp(argv[i], "--", 2) == 0; i += 2) {
        if (strcmp(argv[i], "--service") == 0) service = argv[i + 1];
        else if (strcmp(argv[i], "--topic") == 0) topic = argv[i + 1];
        else if (strcmp(argv[i], "--timeout") == 0) timeout = static_cast<DWORD>(strtoul(argv[i + 1], nullptr, 10));
        else return Usage();
    }
    if (i == argc || (argc - i) % 2) return Usage();
    for (int j = i; j < argc; j += 2)
        if (strcmp(argv[j], "exec") != 0 && strcmp(argv[j], "get") != 0) return Usage();
    DdeLink link;
    if (!link.Ready()) return 2;
    for (; i < argc; i += 2) {
        const std::string operand = argv[i + 1];
        std::string reply;
        const bool exec = strcmp(argv[i], "exec") == 0;
        const DdeOutcome outcome = exec ? link.Execute(service, topic, operand, timeout)
                                        : link.Request(service, topic, operand, &reply, timeout);
        if (outcome != DdeOutcome::Done) return outcome == DdeOutcome::NotProcessed ? 1 : 2;
        if (!exec) printf("%s\n", reply.c_str());
        fflush(stdout);
    }
    return 0;
}
