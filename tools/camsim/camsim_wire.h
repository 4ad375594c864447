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

struct Request {
    RequestKind kind = RequestKind::kNone;
    std::string messageId;  // wsa:MessageID (or wsa5:MessageID)
    bool hasTypes = false;
    std::string types;
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

// True when a probe's Types and Scopes select the device.
bool ProbeSelects(const Request& probe, const Device& device);

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

// SetDeviceAddrRsp, SetDefaultPasswdRsp or SetDefaultCfgRsp for the request's kind.
std::string WriteConfigAnswer(const AnswerHeader& header, const Request& request,
                              const Device& device, int result);

// tns:Hello (bye false) or tns:Bye announcement of a device.
std::string WriteAnnouncement(const AnswerHeader& header, bool bye, const MatchText& match);

// A SOAP 1.2 fault.
std::string WriteFault(const AnswerHeader& header);

// Quietens libxml2's error output (malformed input is normal here).
void InitXml();
