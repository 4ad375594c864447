#include "soap_wire.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <sstream>
#include <string>

#include "common/common_error.h"
#include "common/common_log.h"

// The runtime installs the global table named `namespaces` in every new context.
SOAP_NMAC struct Namespace namespaces[] = {
    {"SOAP-ENV", "http://www.w3.org/2003/05/soap-envelope", nullptr, nullptr},
    {"SOAP-ENC", "http://www.w3.org/2003/05/soap-encoding", nullptr, nullptr},
    {"xsi", "http://www.w3.org/2001/XMLSchema-instance", "http://www.w3.org/*/XMLSchema-instance",
     nullptr},
    {"xsd", "http://www.w3.org/2001/XMLSchema", "http://www.w3.org/*/XMLSchema", nullptr},
    {"xop", "http://www.w3.org/2004/08/xop/include", nullptr, nullptr},
    {"wsa", "http://schemas.xmlsoap.org/ws/2004/08/addressing", nullptr, nullptr},
    {"tns", SOAP_WIRE_DISCOVERY_NS, nullptr, nullptr},
    {"dn", "http://www.onvif.org/ver10/network/wsdl", nullptr, nullptr},
    {"wsa5", "http://www.w3.org/2005/08/addressing", nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};
const struct Namespace* const g_soapNamespaces = namespaces;

namespace {

const char kEndpointScheme[] = "soap.udp://";

// Result of the serve routine for anything dropped once the datagram was received.
const int kServeRefused = SOAP_FAULT;  // 12

ISoapAnswerHandler* AnswerHandler(struct soap* pSoap) {
    auto* pHandler = static_cast<ISoapAnswerHandler*>(pSoap->user);
    if (pHandler == nullptr) {
        LOG_ERROR("answer handler is null");
    }
    return pHandler;
}

// Parses "soap.udp://a.b.c.d:port" into an IPv4 socket address.
bool ParseEndpoint(const char* pszEndpoint, struct sockaddr_in* pstAddr) {
    const size_t nSchemeLen = sizeof(kEndpointScheme) - 1;
    if (pszEndpoint == nullptr || std::strncmp(pszEndpoint, kEndpointScheme, nSchemeLen) != 0) {
        return false;
    }
    const std::string strHostPort(pszEndpoint + nSchemeLen);
    const size_t nColon = strHostPort.rfind(':');
    if (nColon == std::string::npos || nColon + 1 >= strHostPort.size()) {
        return false;
    }
    const std::string strPort = strHostPort.substr(nColon + 1);
    char* pEnd = nullptr;
    errno = 0;
    const long nPort = std::strtol(strPort.c_str(), &pEnd, 10);
    if (errno != 0 || *pEnd != '\0' || strPort[0] < '0' || strPort[0] > '9' || nPort < 1 ||
        nPort > 65535) {
        return false;
    }
    std::memset(pstAddr, 0, sizeof(*pstAddr));
    pstAddr->sin_family = AF_INET;
    pstAddr->sin_port = htons(static_cast<uint16_t>(nPort));
    return inet_pton(AF_INET, strHostPort.substr(0, nColon).c_str(), &pstAddr->sin_addr) == 1;
}

// Writes the whole envelope of a request through the context's output.
template <typename TWrapper>
int PutEnvelope(struct soap* pSoap, const TWrapper* pstWrapper, const char* pszTag,
                int (*fnPut)(struct soap*, const TWrapper*, const char*, const char*)) {
    if (soap_envelope_begin_out(pSoap) || soap_putheader(pSoap) || soap_body_begin_out(pSoap) ||
        fnPut(pSoap, pstWrapper, pszTag, "") || soap_body_end_out(pSoap) ||
        soap_envelope_end_out(pSoap)) {
        return pSoap->error;
    }
    return SOAP_OK;
}

typedef int (*SendFunc)(struct soap*, const char*, size_t);

// The toolkit's own output function: it writes to the context's socket, or to standard output
// when the context has none.
SendFunc ToolkitSend() {
    static const SendFunc s_fnSend = [] {
        struct soap* pSoap = soap_new();
        const SendFunc fnSend = pSoap != nullptr ? pSoap->fsend : nullptr;
        soap_free(pSoap);
        return fnSend;
    }();
    return s_fnSend;
}

// Output function of the rendering pass: collects the envelope in the context's output stream.
int RenderToStream(struct soap* pSoap, const char* pData, size_t nSize) {
    pSoap->os->write(pData, static_cast<std::streamsize>(nSize));
    return SOAP_OK;
}

// Renders the whole envelope into *pstrEnvelope.
template <typename TWrapper>
int RenderEnvelope(struct soap* pSoap, const TWrapper* pstWrapper, const char* pszTag,
                   int (*fnPut)(struct soap*, const TWrapper*, const char*, const char*),
                   std::string* pstrEnvelope) {
    std::ostringstream stRendered;
    const SendFunc fnSend = pSoap->fsend;
    pSoap->os = &stRendered;
    pSoap->fsend = RenderToStream;
    const int nError = (soap_begin_send(pSoap) || PutEnvelope(pSoap, pstWrapper, pszTag, fnPut) ||
                        soap_end_send(pSoap))
                           ? pSoap->error
                           : SOAP_OK;
    pSoap->fsend = fnSend;
    pSoap->os = nullptr;
    *pstrEnvelope = stRendered.str();
    // The toolkit ends the envelope with a line break; the datagram ends with the closing tag.
    if (pstrEnvelope->size() >= 2 &&
        pstrEnvelope->compare(pstrEnvelope->size() - 2, 2, "\r\n") == 0) {
        pstrEnvelope->resize(pstrEnvelope->size() - 2);
    }
    return nError;
}

// One request: render the envelope into memory (the toolkit's own counting pass is skipped for
// UDP output and miscounts UTF-8 text), refuse what does not fit one datagram, then hand the
// datagram to the context's output function addressed to the endpoint: the toolkit's sends it
// from the bound socket; a caller's own output function gets the finished datagram.
template <typename TWrapper>
int SendRequest(struct soap* pSoap, const char* pszEndpoint, const char* pszAction,
                const char* pszDefaultAction, const TWrapper* pstWrapper, const char* pszTag,
                void (*fnSerialize)(struct soap*, const TWrapper*),
                int (*fnPut)(struct soap*, const TWrapper*, const char*, const char*)) {
    if (pSoap == nullptr) {
        LOG_ERROR("pSoap is null");
        return ERR_INVALID_PARAM;
    }
    const char* pszUsedAction = pszAction != nullptr ? pszAction : pszDefaultAction;
    pSoap->encodingStyle = nullptr;
    soap_begin(pSoap);
    soap_serializeheader(pSoap);
    fnSerialize(pSoap, pstWrapper);

    std::string strEnvelope;
    if (RenderEnvelope(pSoap, pstWrapper, pszTag, fnPut, &strEnvelope) != SOAP_OK) {
        LOG_ERROR("render envelope(%s) failed(%d)", pszTag + 1, pSoap->error);
        return pSoap->error;
    }
    if (strEnvelope.size() > SOAP_WIRE_MAX_DATAGRAM) {
        LOG_ERROR("envelope too long(%lu)", static_cast<unsigned long>(strEnvelope.size()));
        return pSoap->error = SOAP_UDP_ERROR;
    }
    struct sockaddr_in stAddr;
    if (!ParseEndpoint(pszEndpoint, &stAddr)) {
        LOG_ERROR("invalid endpoint(%s)", pszEndpoint != nullptr ? pszEndpoint : "null");
        return pSoap->error = SOAP_TCP_ERROR;
    }
    if (pSoap->fsend == ToolkitSend() && !soap_valid_socket(pSoap->socket)) {
        LOG_ERROR("send %s: socket not bound", pszTag + 1);
        return pSoap->error = SOAP_TCP_ERROR;
    }
    std::memcpy(&pSoap->peer.in, &stAddr, sizeof(stAddr));
    pSoap->peerlen = sizeof(stAddr);
    pSoap->error = SOAP_OK;
    if (pSoap->fsend(pSoap, strEnvelope.data(), strEnvelope.size()) != SOAP_OK) {
        LOG_ERROR("send %s to %s failed(errno:%d)", pszTag + 1, pszEndpoint, pSoap->errnum);
        return pSoap->error = SOAP_EOF;
    }
    LOG_DEBUG("sent %s(%lu bytes) to %s action(%s)", pszTag + 1,
              static_cast<unsigned long>(strEnvelope.size()), pszEndpoint, pszUsedAction);
    return SOAP_OK;
}

// Output sink of the receive path: nothing read may cause a reply of any kind.
int DiscardOutput(struct soap*, const char*, size_t) {
    return SOAP_OK;
}

// Reads, parses and dispatches one message; returns 0, 12 or a reception failure code.
int ServeOne(struct soap* pSoap) {
    soap_begin(pSoap);
    pSoap->header = nullptr;  // a message without header must not show a previous one
    if (soap_begin_recv(pSoap)) {
        const int nError = pSoap->error;
        soap_closesock(pSoap);
        return nError < SOAP_STOP ? nError : SOAP_OK;
    }
    // The toolkit accepts a root other than the envelope as plain XML; only envelopes count.
    if (soap_peek_element(pSoap) || soap_match_tag(pSoap, pSoap->tag, "SOAP-ENV:Envelope") ||
        soap_envelope_begin_in(pSoap)) {
        LOG_DEBUG("message dropped(no envelope, %d)", pSoap->error);
        return kServeRefused;
    }
    if (soap_recv_header(pSoap) || soap_body_begin_in(pSoap) || soap_serve_request(pSoap)) {
        LOG_DEBUG("message dropped(%d)", pSoap->error);
        return kServeRefused;
    }
    return SOAP_OK;
}

// Most '=' signs a datagram may hold; every attribute needs one. The toolkit looks each
// attribute name up in a list of all the names met so far in the message, so parsing time
// grows with the square of their number: 4,500 distinct names in 58 KB took 0.18 s, which
// would let a few such datagrams a second stall the receive thread.
const std::size_t kMaxEqualsSigns = 512;

// Called by the toolkit with the bytes it has read (a whole datagram), before parsing.
int LimitAttributes(struct soap*, const char* pData, size_t nSize) {
    const auto nEquals = static_cast<std::size_t>(std::count(pData, pData + nSize, '='));
    if (nEquals > kMaxEqualsSigns) {
        LOG_DEBUG("message dropped(%lu '=' signs)", static_cast<unsigned long>(nEquals));
        return kServeRefused;
    }
    return SOAP_OK;
}

// Called by the toolkit once the datagram is read, before the handler runs. The toolkit matches
// end tags by count only; every element opened must also have been closed.
int CheckAllClosed(struct soap* pSoap) {
    return pSoap->level == 0 ? SOAP_OK : SOAP_SYNTAX_ERROR;
}

int ServeGuarded(struct soap* pSoap) {
    const SendFunc fnSend = pSoap->fsend;
    int (*fnRecv)(struct soap*, const char*, size_t) = pSoap->fpreparerecv;
    int (*fnFinalRecv)(struct soap*) = pSoap->fpreparefinalrecv;
    pSoap->fsend = DiscardOutput;
    pSoap->fpreparerecv = LimitAttributes;
    pSoap->fpreparefinalrecv = CheckAllClosed;
    const int nResult = ServeOne(pSoap);
    pSoap->fsend = fnSend;
    pSoap->fpreparerecv = fnRecv;
    pSoap->fpreparefinalrecv = fnFinalRecv;
    return nResult;
}

}  // namespace

void SoapInitContext(struct soap* pSoap) {
    soap_set_mode(pSoap, SOAP_IO_UDP | SOAP_C_UTFSTRING);
    soap_set_omode(pSoap, SOAP_XML_NOTYPE | SOAP_XML_TREE);
    soap_clr_omode(pSoap, SOAP_XML_INDENT);
    soap_set_namespaces(pSoap, namespaces);
    pSoap->encodingStyle = nullptr;
}

int SoapBindUdp(struct soap* pSoap, const char* pszIp, int nPort) {
    pSoap->bind_flags = SO_REUSEADDR;
    if (!soap_valid_socket(soap_bind(pSoap, pszIp, nPort, 1))) {
        LOG_ERROR("soap_bind(ip:%s port:%d) failed", pszIp != nullptr ? pszIp : "null", nPort);
        return ERR_SOCKET_BIND;
    }
    pSoap->socket = pSoap->master;
    return RESULT_OK;
}

void SoapSetAnswerHandler(struct soap* pSoap, ISoapAnswerHandler* pHandler) {
    pSoap->user = pHandler;
}

int SoapAttachRequestHeader(struct soap* pSoap, const char* pszMessageId, const char* pszTo,
                            const char* pszAction) {
    auto* pstHeader =
        static_cast<struct SOAP_ENV__Header*>(soap_malloc(pSoap, sizeof(struct SOAP_ENV__Header)));
    if (pstHeader == nullptr) {
        LOG_ERROR("new pstHeader failed");
        return ERR_NO_MEMORY;
    }
    soap_default_SOAP_ENV__Header(pSoap, pstHeader);
    pstHeader->wsa__MessageID = soap_strdup(pSoap, pszMessageId);
    pstHeader->wsa__To = soap_strdup(pSoap, pszTo);
    pstHeader->wsa__Action = soap_strdup(pSoap, pszAction);
    if ((pszMessageId && !pstHeader->wsa__MessageID) || (pszTo && !pstHeader->wsa__To) ||
        (pszAction && !pstHeader->wsa__Action)) {
        LOG_ERROR("copy header text failed");
        return ERR_NO_MEMORY;
    }
    pSoap->header = pstHeader;
    return RESULT_OK;
}

int SoapSendProbe(struct soap* pSoap, const char* pszEndpoint, const char* pszAction,
                  struct tns__ProbeType* pstProbe) {
    struct __tns__Probe stWrapper;
    stWrapper.tns__Probe = pstProbe;
    return SendRequest(pSoap, pszEndpoint, pszAction, SOAP_WIRE_DISCOVERY_NS "/Probe", &stWrapper,
                       "-tns:Probe", soap_serialize___tns__Probe, soap_put___tns__Probe);
}

int SoapSendKorvaneProbe(struct soap* pSoap, const char* pszEndpoint, const char* pszAction,
                         struct tns__ProbeType* pstProbe) {
    struct __tns__KorvaneProbe stWrapper;
    stWrapper.tns__KorvaneProbe = pstProbe;
    return SendRequest(pSoap, pszEndpoint, pszAction, SOAP_WIRE_DISCOVERY_NS "/KorvaneProbe",
                       &stWrapper, "-tns:KorvaneProbe", soap_serialize___tns__KorvaneProbe,
                       soap_put___tns__KorvaneProbe);
}

int SoapSendSetDeviceAddrReq(struct soap* pSoap, const char* pszEndpoint, const char* pszAction,
                             struct tns__SetDeviceAddrReqType* pstReq) {
    struct __tns__SetDeviceAddrReq stWrapper;
    stWrapper.tns__SetDeviceAddrReq = pstReq;
    return SendRequest(pSoap, pszEndpoint, pszAction, SOAP_WIRE_DISCOVERY_NS "/SetDeviceAddrReq",
                       &stWrapper, "-tns:SetDeviceAddrReq", soap_serialize___tns__SetDeviceAddrReq,
                       soap_put___tns__SetDeviceAddrReq);
}

int SoapSendSetDefaultCfgReq(struct soap* pSoap, const char* pszEndpoint, const char* pszAction,
                             struct tns__SetDefaultCfgReqType* pstReq) {
    struct __tns__SetDefaultCfgReq stWrapper;
    stWrapper.tns__SetDefaultCfgReq = pstReq;
    return SendRequest(pSoap, pszEndpoint, pszAction, SOAP_WIRE_DISCOVERY_NS "/SetDefaultCfgReq",
                       &stWrapper, "-tns:SetDefaultCfgReq", soap_serialize___tns__SetDefaultCfgReq,
                       soap_put___tns__SetDefaultCfgReq);
}

int SoapSendSetDefaultPasswdReq(struct soap* pSoap, const char* pszEndpoint, const char* pszAction,
                                struct tns__SetDefaultPasswdReqType* pstReq) {
    struct __tns__SetDefaultPasswdReq stWrapper;
    stWrapper.tns__SetDefaultPasswdReq = pstReq;
    return SendRequest(pSoap, pszEndpoint, pszAction, SOAP_WIRE_DISCOVERY_NS "/SetDefaultPasswdReq",
                       &stWrapper, "-tns:SetDefaultPasswdReq",
                       soap_serialize___tns__SetDefaultPasswdReq,
                       soap_put___tns__SetDefaultPasswdReq);
}

int SoapServe(struct soap* pSoap) {
    return ServeGuarded(pSoap);
}

int SoapServeBuffer(struct soap* pSoap, const char* pData, std::size_t nSize) {
    std::istringstream stream(std::string(pData, nSize));
    std::istream* pSaved = pSoap->is;
    pSoap->is = &stream;
    const int nResult = ServeGuarded(pSoap);
    pSoap->is = pSaved;
    return nResult;
}

// Handlers called by the generated dispatch. Announcements and resolution are refused; requests
// (for example the client's own probes heard back) are ignored; answers go to the handler.

SOAP_FMAC5 int SOAP_FMAC6 __tns__Hello(struct soap*, struct tns__HelloType*) {
    return SOAP_NO_METHOD;
}

SOAP_FMAC5 int SOAP_FMAC6 __tns__Bye(struct soap*, struct tns__ByeType*) {
    return SOAP_NO_METHOD;
}

SOAP_FMAC5 int SOAP_FMAC6 __tns__Resolve(struct soap*, struct tns__ResolveType*) {
    return SOAP_NO_METHOD;
}

SOAP_FMAC5 int SOAP_FMAC6 __tns__ResolveMatches(struct soap*, struct tns__ResolveMatchesType*) {
    return SOAP_NO_METHOD;
}

SOAP_FMAC5 int SOAP_FMAC6 __tns__Probe(struct soap*, struct tns__ProbeType*) {
    return SOAP_OK;
}

SOAP_FMAC5 int SOAP_FMAC6 __tns__KorvaneProbe(struct soap*, struct tns__ProbeType*) {
    return SOAP_OK;
}

SOAP_FMAC5 int SOAP_FMAC6 __tns__SetDeviceAddrReq(struct soap*, struct tns__SetDeviceAddrReqType*) {
    return SOAP_OK;
}

SOAP_FMAC5 int SOAP_FMAC6 __tns__SetDefaultCfgReq(struct soap*, struct tns__SetDefaultCfgReqType*) {
    return SOAP_OK;
}

SOAP_FMAC5 int SOAP_FMAC6 __tns__SetDefaultPasswdReq(struct soap*,
                                                     struct tns__SetDefaultPasswdReqType*) {
    return SOAP_OK;
}

SOAP_FMAC5 int SOAP_FMAC6 __tns__ProbeMatches(struct soap* pSoap,
                                              struct tns__ProbeMatchesType* pstProbeMatches) {
    ISoapAnswerHandler* pHandler = AnswerHandler(pSoap);
    return pHandler ? pHandler->OnProbeMatches(pSoap, pstProbeMatches) : SOAP_NO_METHOD;
}

SOAP_FMAC5 int SOAP_FMAC6
__tns__KorvaneProbeMatches(struct soap* pSoap, struct tns__ProbeMatchesType* pstProbeMatches) {
    ISoapAnswerHandler* pHandler = AnswerHandler(pSoap);
    return pHandler ? pHandler->OnKorvaneProbeMatches(pSoap, pstProbeMatches) : SOAP_NO_METHOD;
}

SOAP_FMAC5 int SOAP_FMAC6 __tns__SetDeviceAddrRsp(struct soap* pSoap,
                                                  struct tns__SetDeviceAddrRspType* pstRsp) {
    ISoapAnswerHandler* pHandler = AnswerHandler(pSoap);
    return pHandler ? pHandler->OnSetDeviceAddrRsp(pSoap, pstRsp) : SOAP_NO_METHOD;
}

SOAP_FMAC5 int SOAP_FMAC6 __tns__SetDefaultCfgRsp(struct soap* pSoap,
                                                  struct tns__SetDefaultCfgRspType* pstRsp) {
    ISoapAnswerHandler* pHandler = AnswerHandler(pSoap);
    return pHandler ? pHandler->OnSetDefaultCfgRsp(pSoap, pstRsp) : SOAP_NO_METHOD;
}

SOAP_FMAC5 int SOAP_FMAC6 __tns__SetDefaultPasswdRsp(struct soap* pSoap,
                                                     struct tns__SetDefaultPasswdRspType* pstRsp) {
    ISoapAnswerHandler* pHandler = AnswerHandler(pSoap);
    return pHandler ? pHandler->OnSetDefaultPasswdRsp(pSoap, pstRsp) : SOAP_NO_METHOD;
}
