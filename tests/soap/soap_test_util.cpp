#include "soap_test_util.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

CTestContext::CTestContext() {
    m_pSoap = soap_new();
    SoapInitContext(m_pSoap);
}

CTestContext::~CTestContext() {
    soap_destroy(m_pSoap);
    soap_end(m_pSoap);
    soap_free(m_pSoap);
}

void EndMessage(struct soap* pSoap) {
    soap_destroy(pSoap);
    soap_end(pSoap);
}

std::string XmlLintProblems(const std::string& strXml) {
    const std::string strXmllint = SCOUTCAM_XMLLINT;
    char szPath[] = "/tmp/soap_envelope_XXXXXX";
    const int nFd = mkstemp(szPath);
    if (nFd < 0) {
        return "cannot create a temporary file";
    }
    close(nFd);
    std::ofstream(szPath, std::ios::binary) << strXml;
    const std::string strOut = std::string(szPath) + ".out";
    const std::string strCommand =
        strXmllint + " --nonet --noout --schema " SCOUTCAM_XSD_DIR "/wsd-envelope.xsd " + szPath +
        " >" + strOut + " 2>&1";
    const int nStatus = std::system(strCommand.c_str());
    std::stringstream stOut;
    stOut << std::ifstream(strOut).rdbuf();
    std::remove(szPath);
    std::remove(strOut.c_str());
    return nStatus == 0 ? std::string() : stOut.str();
}
