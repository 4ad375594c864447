#include "soap_test_util.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

int LocalPort(int nSocket) {
    struct sockaddr_in stAddr {};
    socklen_t nLen = sizeof(stAddr);
    if (getsockname(nSocket, reinterpret_cast<struct sockaddr*>(&stAddr), &nLen) != 0) {
        return 0;
    }
    return ntohs(stAddr.sin_port);
}

}  // namespace

CUdpPeer::CUdpPeer() {
    m_nSocket = socket(AF_INET, SOCK_DGRAM, 0);
    struct sockaddr_in stAddr {};
    stAddr.sin_family = AF_INET;
    stAddr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_nSocket >= 0 &&
        bind(m_nSocket, reinterpret_cast<struct sockaddr*>(&stAddr), sizeof(stAddr)) == 0) {
        m_nPort = LocalPort(m_nSocket);
    }
}

CUdpPeer::~CUdpPeer() {
    if (m_nSocket >= 0) {
        close(m_nSocket);
    }
}

bool CUdpPeer::SendTo(int nPort, const std::string& strData) const {
    struct sockaddr_in stAddr {};
    stAddr.sin_family = AF_INET;
    stAddr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    stAddr.sin_port = htons(static_cast<uint16_t>(nPort));
    const ssize_t nSent = sendto(m_nSocket, strData.data(), strData.size(), 0,
                                 reinterpret_cast<struct sockaddr*>(&stAddr), sizeof(stAddr));
    return nSent == static_cast<ssize_t>(strData.size());
}

bool CUdpPeer::Receive(std::string* pstrData, int nTimeoutMs) const {
    struct pollfd stPoll {};
    stPoll.fd = m_nSocket;
    stPoll.events = POLLIN;
    if (poll(&stPoll, 1, nTimeoutMs) != 1) {
        return false;
    }
    std::string strBuffer(70000, '\0');
    const ssize_t nRead = recv(m_nSocket, &strBuffer[0], strBuffer.size(), 0);
    if (nRead < 0) {
        return false;
    }
    strBuffer.resize(static_cast<size_t>(nRead));
    *pstrData = strBuffer;
    return true;
}

CTestContext::CTestContext() {
    m_pSoap = soap_new();
    SoapInitContext(m_pSoap);
    m_pSoap->recv_timeout = 2;
    m_pSoap->send_timeout = 2;
    if (SoapBindUdp(m_pSoap, "127.0.0.1", 0) == 0) {
        m_nPort = LocalPort(m_pSoap->master);
    }
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

std::string LoopbackEndpoint(int nPort) {
    return "soap.udp://127.0.0.1:" + std::to_string(nPort);
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
