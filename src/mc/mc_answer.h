#pragma once

// Answer handling of the discovery client: each received datagram is parsed, an answer is
// accepted only when it relates to the client's own message id, and what it carries is taken
// out of the toolkit's records into an outcome that the client hands on.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mc_observer.h"
#include "mc_receive.h"

struct soap;
struct tns__ProbeMatchType;

// What one datagram gave: the device records of its probe matches (at most kMatchesPerDatagram,
// each naming where the datagram came in), or the completion of a configuration request.
struct AnswerOutcome {
    std::vector<CDiscoveryBean> records;
    bool completes = false;  // a configuration answer: the four fields below
    int32_t msgSeq = 0;
    std::string deviceId;
    uint32_t source = 0;  // the answer's sender, host byte order
    int result = 0;       // the device's result converted to a result code
};

// Probe matches taken from one datagram at most; a real device sends one (a recorder perhaps
// one per channel), a flood sends as many as fit.
const int kMatchesPerDatagram = 256;

// Serves received datagrams one at a time, on one thread; each thread that parses has a path of
// its own.
class CAnswerPath {
public:
    // messageId: "urn:uuid:" and the client's UUID, which the RelatesTo of every answer to this
    // client names.
    explicit CAnswerPath(const std::string& messageId);
    ~CAnswerPath();
    CAnswerPath(const CAnswerPath&) = delete;
    CAnswerPath& operator=(const CAnswerPath&) = delete;

    // Parses one datagram, checks its source and puts what an accepted answer carries in
    // *pOutcome (emptied first); an accepted answer is logged with the interface it came in
    // on. 0 when it was handled or ignored (a request, such as the client's own probe heard
    // back); 10000 when it was dropped (refused, unknown, malformed, not for this client,
    // incomplete); 10005 when it is no message at all; 10004 when the path has no runtime
    // context.
    int Serve(const char* pData, size_t size, const Arrival& arrival, AnswerOutcome* pOutcome);

private:
    class CHandler;
    std::unique_ptr<CHandler> m_pHandler;
    struct soap* m_pSoap = nullptr;
};

// The device record of one probe match: the host of its first XAddrs address, and hardware,
// MAC, version, serial number and the brand flag from its ONVIF scopes. false, logged, when
// the match has no XAddrs, no scopes or empty scopes.
bool MatchToRecord(const tns__ProbeMatchType& stMatch, CDiscoveryBean* pRecord);
