// TavolinCtl: sends one command to the running player over DDE, for batch files.
//   TavolinCtl [--service NAME] [--topic NAME] [--timeout MS] exec "[Play()]"
//   TavolinCtl [...] get GetPos
// Exit code: 0 done, 1 not processed (or no data), 2 player not reachable, 3 usage.
#include "dde_link.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>

static int Usage() {
    fprintf(stderr, "usage: TavolinCtl [--service NAME] [--topic NAME] [--timeout MS] exec COMMAND | get ITEM\n");
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
    if (i + 2 != argc) return Usage();
    const std::string verb = argv[i], operand = argv[i + 1];
    DdeLink link;
    if (!link.Ready()) return 2;
    if (verb == "exec") {
        switch (link.Execute(service, topic, operand, timeout)) {
        case DdeOutcome::Done: return 0;
        case DdeOutcome::NotProcessed: return 1;
        default: return 2;
        }
    }
    if (verb == "get") {
        std::string reply;
        DdeOutcome outcome = link.Request(service, topic, operand, &reply, timeout);
        if (outcome == DdeOutcome::Done) {
            printf("%s\n", reply.c_str());
            return 0;
        }
        return outcome == DdeOutcome::NotProcessed ? 1 : 2;
    }
    return Usage();
}
