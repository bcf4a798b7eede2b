#include "dde_link.h"

namespace {
HDDEDATA CALLBACK ClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) { return nullptr; }
}

DdeLink::DdeLink() {
    if (DdeInitializeA(&instance_, ClientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) instance_ = 0;
}

DdeLink::~DdeLink() {
    if (instance_) DdeUninitialize(instance_);
}

HCONV DdeLink::Connect(const std::string &service, const std::string &topic) {
    if (!instance_) return nullptr;
    HSZ s = DdeCreateStringHandleA(instance_, service.c_str(), CP_WINANSI);
    HSZ t = DdeCreateStringHandleA(instance_, topic.c_str(), CP_WINANSI);
    HCONV conversation = DdeConnect(instance_, s, t, nullptr);
    DdeFreeStringHandle(instance_, s);
    DdeFreeStringHandle(instance_, t);
    return conversation;
}

bool DdeLink::Connects(const std::string &service, const std::string &topic) {
    HCONV conversation = Connect(service, topic);
    if (conversation) DdeDisconnect(conversation);
    return conversation != nullptr;
}

DdeOutcome DdeLink::ExecuteOn(HCONV conversation, const void *data, DWORD size, UINT format, DWORD timeoutMs) {
    DWORD result = 0;
    HDDEDATA done = DdeClientTransaction(static_cast<LPBYTE>(const_cast<void *>(data)), size, conversation,
                                         nullptr, format, XTYP_EXECUTE, timeoutMs, &result);
    if (done) return DdeOutcome::Done;
    return DdeGetLastError(instance_) == DMLERR_NOTPROCESSED ? DdeOutcome::NotProcessed : DdeOutcome::Unreachable;
}

DdeOutcome DdeLink::ExecuteOn(HCONV conversation, const std::string &command, DWORD timeoutMs) {
    return ExecuteOn(conversation, command.c_str(), static_cast<DWORD>(command.size() + 1), CF_TEXT, timeoutMs);
}

DdeOutcome DdeLink::Execute(const std::string &service, const std::string &topic, const void *data, DWORD size,
                            UINT format, DWORD timeoutMs) {
    HCONV conversation = Connect(service, topic);
    if (!conversation) return DdeOutcome::Unreachable;
    const DdeOutcome outcome = ExecuteOn(conversation, data, size, format, timeoutMs);
    DdeDisconnect(conversation);
    return outcome;
}

DdeOutcome DdeLink::Execute(const std::string &service, const std::string &topic, const std::string &command,
                            DWORD timeoutMs) {
    return Execute(service, topic, command.c_str(), static_cast<DWORD>(command.size() + 1), CF_TEXT, timeoutMs);
}

DdeOutcome DdeLink::Request(const std::string &service, const std::string &topic, const std::string &item,
                            std::string *reply, DWORD timeoutMs, UINT format) {
    // Wine's DDEML can leave a stale acknowledgement that fails the first
    // request after other traffic; one retry on a fresh conversation clears it.
    DdeOutcome outcome = RequestOnce(service, topic, item, reply, timeoutMs, format);
    if (outcome == DdeOutcome::NotProcessed) outcome = RequestOnce(service, topic, item, reply, timeoutMs, format);
    return outcome;
}

DdeOutcome DdeLink::RequestOnce(const std::string &service, const std::string &topic, const std::string &item,
                                std::string *reply, DWORD timeoutMs, UINT format) {
    HCONV conversation = Connect(service, topic);
    if (!conversation) return DdeOutcome::Unreachable;
    HSZ hszItem = DdeCreateStringHandleA(instance_, item.c_str(), CP_WINANSI);
    HDDEDATA data = DdeClientTransaction(nullptr, 0, conversation, hszItem, format, XTYP_REQUEST, timeoutMs,
                                         nullptr);
    DdeOutcome outcome = DdeOutcome::NotProcessed;
    if (data) {
        const DWORD size = DdeGetData(data, nullptr, 0, 0);
        std::string text(size, '\0');
        DdeGetData(data, reinterpret_cast<LPBYTE>(&text[0]), size, 0);
        const size_t nul = text.find('\0');
        if (nul != std::string::npos) text.resize(nul);
        if (reply) *reply = text;
        DdeFreeDataHandle(data);
        outcome = DdeOutcome::Done;
    }
    DdeFreeStringHandle(instance_, hszItem);
    DdeDisconnect(conversation);
    return outcome;
}
