#pragma once

// Answer handling of the discovery client, on the discovery thread: each received datagram is
// parsed, an answer is accepted only when it relates to the client's own message id, and what
// it carries goes to the client.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "mc_observer.h"
#include "mc_receive.h"

struct soap;
struct tns__ProbeMatchesType;
struct tns__ProbeMatchType;

// What the answer handling needs of the client; the discovery client implements it.
class IAnswerReceiver {
public:
    virtual ~IAnswerReceiver() = default;
    // true when the received message (its header in the context) relates to the client's own
    // message id.
    virtual bool CheckSoapSrc(const struct soap* pSoap) const = 0;
    // Accepted probe matches, standard or vendor, and where their datagram came in.
    virtual void OnProbeMatches(const tns__ProbeMatchesType* pstProbeMatches,
                                const Arrival& arrival) = 0;
    // An accepted configuration answer, its device result converted to a result code.
    // source: the answer's sender, host byte order.
    virtual void CompleteResponse(int32_t msgSeq, const std::string& deviceId, uint32_t source,
                                  int result) = 0;
};

// Serves received datagrams one at a time, on one thread.
class CAnswerPath {
public:
    explicit CAnswerPath(IAnswerReceiver* pReceiver);
    ~CAnswerPath();
    CAnswerPath(const CAnswerPath&) = delete;
    CAnswerPath& operator=(const CAnswerPath&) = delete;

    // Parses one datagram, checks its source and hands its answer to the receiver; an
    // accepted answer is logged with the interface it came in on. 0 when it was handled or
    // ignored (a request, such as the client's own probe heard back); 10000 when it was
    // dropped (refused, unknown, malformed, not for this client, incomplete); 10005 when it
    // is no message at all; 10004 when the path has no runtime context.
    int Serve(const char* pData, size_t size, const Arrival& arrival = Arrival());

private:
    class CHandler;
    std::unique_ptr<CHandler> m_pHandler;
    struct soap* m_pSoap = nullptr;
};

// The device record of one probe match: the host of its first XAddrs address, and hardware,
// MAC, version, serial number and the brand flag from its ONVIF scopes. false, logged, when
// the match has no XAddrs, no scopes or empty scopes.
bool MatchToRecord(const tns__ProbeMatchType& stMatch, CDiscoveryBean* pRecord);
