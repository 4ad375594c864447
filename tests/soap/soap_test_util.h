#pragma once

#include <string>

#include "soap_wire.h"

// A context set up as the client sets up its own.
class CTestContext {
public:
    CTestContext();
    ~CTestContext();
    CTestContext(const CTestContext&) = delete;
    CTestContext& operator=(const CTestContext&) = delete;

    struct soap* Get() const {
        return m_pSoap;
    }

private:
    struct soap* m_pSoap = nullptr;
};

// The per-message clean-up: C++ records, then all message memory.
void EndMessage(struct soap* pSoap);

// Runs xmllint on the text: well-formedness always, and the published schemas when present.
// Validates against the published SOAP 1.2, WS-Addressing and WS-Discovery schemas (xsd/).
// Returns an empty string when valid, otherwise xmllint's complaint. Built where the host's
// xmllint is (Linux: SCOUTCAM_XMLLINT).
std::string XmlLintProblems(const std::string& strXml);
