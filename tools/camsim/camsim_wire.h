#pragma once
// Reading requests and writing answers of the discovery message family, with libxml2.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "camsim_fleet.h"

enum class RequestKind {
    kNone,  // not a request of ours (parse failure, answers, announcements, faults)
    kProbe,
    kKorvaneProbe,
    kSetDeviceAddr,
    kSetDefaultPasswd,
    kSetDefaultCfg,
};

// A qualified name with its prefix resolved: namespace URI and local name.
struct QName {
    std::string ns;
    std::string local;
    bool operator==(const QName& other) const { return ns == other.ns && local == other.local; }
};

struct Request {
    RequestKind kind = RequestKind::kNone;
    std::string messageId;  // wsa:MessageID (or wsa5:MessageID)
    std::string action;     // wsa:Action (or wsa5:Action); empty when absent
    // Probes: the types asked for, resolved against the namespaces in scope at tns:Types.
    // typesValid is false when a name is not a QName or its prefix is not declared.
    std::vector<QName> types;
    bool typesValid = true;
    std::string scopes;
    // Configuration requests.
    bool hasOpUser = false;
    std::string userName;
    std::string authCode;
    std::string userId;
    std::string msgSeq;  // echoed as received
    bool hasDevice = false;
    std::string serialNo;
    std::string deviceId;
    bool hasAddr = false;
    std::string newIp;
    std::string newMask;
    std::string newGateway;
    std::string passwordAuthCode;
};

// Parses one datagram. Returns false for anything that is not a well-formed SOAP envelope.
bool ParseRequest(const char* data, size_t size, Request& request);

// The action URI of a request kind (the WS-Discovery namespace, '/', the body element's name).
std::string ActionOf(RequestKind kind);

// The types every simulated device has (they are written in each probe match).
std::vector<QName> DeviceTypes();

// Header of an answer.
struct AnswerHeader {
    std::string messageId;  // the answer's own id
    std::string relatesTo;  // the request's id; empty: no RelatesTo
    bool wsa5 = false;      // write wsa5:RelatesTo instead of wsa:RelatesTo
};

// One probe match as written.
struct MatchText {
    std::string address;  // endpoint reference
    std::string scopes;   // empty with omitScopes
    std::string xaddrs;
    bool omitScopes = false;
    bool omitXAddrs = false;
};

std::string WriteProbeMatches(const AnswerHeader& header, bool korvane,
                              const std::vector<MatchText>& matches);

// A tns:ProbeMatches of count made-up devices numbered from first: each match has only what a
// client needs to list a device, XAddrs (the address FakeAddress(n)) and one scope.
std::string WriteFakeMatches(const AnswerHeader& header, uint32_t first, uint32_t count);

// The address of made-up device n: 10.0.0.0/8 plus n, wrapping after 2^24 devices.
std::string FakeAddress(uint32_t n);

// An envelope written here, padded with blanks inside its body to size bytes (unchanged when
// it is that long already).
std::string PadEnvelope(const std::string& envelope, size_t size);

// SetDeviceAddrRsp, SetDefaultPasswdRsp or SetDefaultCfgRsp for the request's kind.
std::string WriteConfigAnswer(const AnswerHeader& header, const Request& request,
                              const Device& device, int result);

// tns:Hello (bye false) or tns:Bye announcement of a device.
std::string WriteAnnouncement(const AnswerHeader& header, bool bye, const MatchText& match);

// A SOAP 1.2 fault.
std::string WriteFault(const AnswerHeader& header);

// Quietens libxml2's error output (malformed input is normal here).
void InitXml();
