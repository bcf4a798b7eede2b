// The fuzz client for the DDE stress test: sends COUNT malformed execute
// strings (none of which the language may run) over one conversation, with a
// harmless command after every tenth that must be processed, so an answer
// that belonged to another string would show.  Prints a summary; exit code 0
// when every string was answered and refused and every probe processed.
//   dde_fuzz_client SERVICE COUNT SEED FOLDER
#include "dde_link.h"
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

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

}  // namespace

int main(int argc, char **argv) {
    if (argc < 5) return 3;
    const std::string service = argv[1];
    const long count = atol(argv[2]);
    std::mt19937 random(static_cast<unsigned>(atol(argv[3])));
    const std::string folder = argv[4];
    const UINT formats[] = {CF_TEXT, CF_TEXT, CF_OEMTEXT, CF_UNICODETEXT, 0xC123};
    static const char kProbe[] = "[SeekRel(0)]";
    DdeLink link;
    HCONV conversation = link.Connect(service, "Command");
    if (!conversation) return 2;
    long sent = 0, processed = 0, unanswered = 0, staleProbes = 0, probesFailed = 0;
    while (sent < count) {
        std::string data = Generate(random, folder);
        if (CouldRun(data)) continue;
        if (random() % 3) data.push_back('\0');  // often terminated, sometimes not
        // (Wine's DDEML never delivers an execute without data; the client
        // would only wait out its timeout.)
        if (data.empty()) continue;
        const UINT format = formats[random() % 5];
        const DdeOutcome outcome = link.ExecuteOn(conversation, data.data(), static_cast<DWORD>(data.size()), format, 10000);
        ++sent;
        if (outcome == DdeOutcome::Done) {
            if (++processed <= 5) printf("processed: %.60s\n", data.c_str());
        } else if (outcome != DdeOutcome::NotProcessed) {
            printf("unanswered after %ld: %.60s\n", sent, data.c_str());
            if (++unanswered == 3) break;  // a server that stopped answering
        }
        if (sent % 10) continue;
        if (link.ExecuteOn(conversation, kProbe, sizeof kProbe, CF_TEXT, 10000) == DdeOutcome::Done) continue;
        // Now and then Wine's DDEML hands the probe a stale acknowledgement;
        // a fresh conversation must then take it.
        ++staleProbes;
        DdeDisconnect(conversation);
        conversation = link.Connect(service, "Command");
        if (!conversation || link.ExecuteOn(conversation, kProbe, sizeof kProbe, CF_TEXT, 10000) != DdeOutcome::Done) {
            ++probesFailed;
            printf("probe failed after: %.60s\n", data.c_str());
            if (!conversation) break;
        }
    }
    if (conversation) DdeDisconnect(conversation);
    printf("fuzz: %ld sent, %ld processed, %ld unanswered, %ld stale probes, %ld probes failed\n", sent, processed,
           unanswered, staleProbes, probesFailed);
    return processed || unanswered || probesFailed ? 1 : 0;
}
