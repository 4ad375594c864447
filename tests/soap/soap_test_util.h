#pragma once

#include <string>

#include "soap_wire.h"

// A plain IPv4 UDP socket bound to 127.0.0.1 on an ephemeral port.
class CUdpPeer {
public:
    CUdpPeer();
    ~CUdpPeer();
    CUdpPeer(const CUdpPeer&) = delete;
    CUdpPeer& operator=(const CUdpPeer&) = delete;

    int Port() const { return m_nPort; }
    // Sends one datagram to 127.0.0.1:nPort.
    bool SendTo(int nPort, const std::string& strData) const;
    // Waits up to nTimeoutMs for one datagram; false when none came.
    bool Receive(std::string* pstrData, int nTimeoutMs) const;

private:
    int m_nSocket = -1;
    int m_nPort = 0;
};

// A context set up as the client sets up its own, bound to 127.0.0.1 on an ephemeral port.
class CTestContext {
public:
    CTestContext();
    ~CTestContext();
    CTestContext(const CTestContext&) = delete;
    CTestContext& operator=(const CTestContext&) = delete;

    struct soap* Get() const {
        return m_pSoap;
    }
    int Port() const { return m_nPort; }

private:
    struct soap* m_pSoap = nullptr;
    int m_nPort = 0;
};

// The per-message clean-up: C++ records, then all message memory.
void EndMessage(struct soap* pSoap);

std::string LoopbackEndpoint(int nPort);

// Runs xmllint on the text: well-formedness always, and the published schemas when present.
// Validates against the published SOAP 1.2, WS-Addressing and WS-Discovery schemas (xsd/).
// Returns an empty string when valid, otherwise xmllint's complaint.
std::string XmlLintProblems(const std::string& strXml);
