// A DDE client for the player's command service, one conversation per call.
// Wine's DDEML answers a second request on one conversation with the stale
// acknowledgement of the first, so every call connects afresh.
#pragma once
#include <windows.h>
#include <ddeml.h>
#include <string>

enum class DdeOutcome { Done, NotProcessed, Unreachable };

class DdeLink {
public:
    DdeLink();
    ~DdeLink();
    DdeLink(const DdeLink &) = delete;
    DdeLink &operator=(const DdeLink &) = delete;

    bool Ready() const { return instance_ != 0; }
    // Sends raw execute data as it stands (the caller adds any NUL).
    DdeOutcome Execute(const std::string &service, const std::string &topic, const void *data, DWORD size,
                       UINT format, DWORD timeoutMs);
    DdeOutcome Execute(const std::string &service, const std::string &topic, const std::string &command,
                       DWORD timeoutMs);
    DdeOutcome Request(const std::string &service, const std::string &topic, const std::string &item,
                       std::string *reply, DWORD timeoutMs, UINT format = CF_TEXT);
    bool Connects(const std::string &service, const std::string &topic);

    // One conversation for many executes (executes do not suffer the stale
    // acknowledgement that requests do).
    HCONV Connect(const std::string &service, const std::string &topic);
    DdeOutcome ExecuteOn(HCONV conversation, const void *data, DWORD size, UINT format, DWORD timeoutMs);
    DdeOutcome ExecuteOn(HCONV conversation, const std::string &command, DWORD timeoutMs);

private:
    DdeOutcome RequestOnce(const std::string &service, const std::string &topic, const std::string &item,
                           std::string *reply, DWORD timeoutMs, UINT format);
    DWORD instance_ = 0;
};
