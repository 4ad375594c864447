// The schema check of rendered envelopes: xmllint of the host, on Linux.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "soap_test_util.h"

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
