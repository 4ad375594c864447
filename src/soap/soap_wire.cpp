#include "soap_wire.h"

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

namespace {

ISoapAnswerHandler* AnswerHandler(struct soap* pSoap) {
    auto* pHandler = static_cast<ISoapAnswerHandler*>(pSoap->user);
    if (pHandler == nullptr) {
        LOG_ERROR("answer handler is null");
    }
    return pHandler;
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

// Output function of the rendering pass: appends the envelope to the datagram in soap->user.
int RenderToDatagram(struct soap* pSoap, const char* pData, size_t nSize) {
    static_cast<CSecretText*>(pSoap->user)->Append(pData, nSize);
    return SOAP_OK;
}

// One request: the envelope rendered into memory (the toolkit's own counting pass is skipped
// for UDP output and miscounts UTF-8 text), refused when it does not fit one datagram. For UDP
// the toolkit gathers the envelope in its send buffer and hands it over at the end, in one
// piece when it fits one datagram; that buffer is wiped afterwards.
template <typename TWrapper>
int RenderRequest(struct soap* pSoap, const TWrapper* pstWrapper, const char* pszTag,
                  void (*fnSerialize)(struct soap*, const TWrapper*),
                  int (*fnPut)(struct soap*, const TWrapper*, const char*, const char*),
                  CSecretText* pDatagram) {
    if (pSoap == nullptr || pDatagram == nullptr) {
        LOG_ERROR("invalid param");
        return ERR_INVALID_PARAM;
    }
    pDatagram->Clear();
    pSoap->encodingStyle = nullptr;
    soap_begin(pSoap);
    soap_serializeheader(pSoap);
    fnSerialize(pSoap, pstWrapper);

    int (*fnSend)(struct soap*, const char*, size_t) = pSoap->fsend;
    void* pUser = pSoap->user;
    pSoap->user = pDatagram;
    pSoap->fsend = RenderToDatagram;
    const bool bRendered = soap_begin_send(pSoap) == SOAP_OK &&
                           PutEnvelope(pSoap, pstWrapper, pszTag, fnPut) == SOAP_OK &&
                           soap_end_send(pSoap) == SOAP_OK;
    pSoap->fsend = fnSend;
    pSoap->user = pUser;
    WipeBytes(pSoap->buf, sizeof(pSoap->buf));
    if (!bRendered) {
        pDatagram->Clear();
        LOG_ERROR("render envelope(%s) failed(%d)", pszTag + 1, pSoap->error);
        return pSoap->error == SOAP_EOM ? ERR_NO_MEMORY : ERR_GENERAL;
    }
    // The toolkit ends the envelope with a line break; the datagram ends with the closing tag.
    if (pDatagram->Size() >= 2 && pDatagram->View().substr(pDatagram->Size() - 2) == "\r\n") {
        pDatagram->Shrink(2);
    }
    if (pDatagram->Size() > SOAP_WIRE_MAX_DATAGRAM) {
        LOG_ERROR("envelope too long(%lu)", static_cast<unsigned long>(pDatagram->Size()));
        pDatagram->Clear();
        return ERR_NO_MEMORY;
    }
    return RESULT_OK;
}

// Output sink of the receive path: nothing read may cause a reply of any kind.
int DiscardOutput(struct soap*, const char*, size_t) {
    return SOAP_OK;
}

// Toolkit code of a datagram refused before it is parsed.
const int kRefusedUnparsed = SOAP_FAULT;

// Parses and dispatches one message read from the context's input: 0, 10000 (dropped) or
// 10005 (no message).
int ServeOne(struct soap* pSoap) {
    pSoap->header = nullptr;  // a message without header must not show a previous one
    if (soap_begin_recv(pSoap)) {
        const int nError = pSoap->error;
        soap_closesock(pSoap);
        if (nError == kRefusedUnparsed) {
            return ERR_GENERAL;
        }
        // Codes from SOAP_STOP on mean the toolkit finished the message itself.
        return nError < SOAP_STOP ? ERR_IO : RESULT_OK;
    }
    // The toolkit accepts a root other than the envelope as plain XML; only envelopes count.
    if (soap_peek_element(pSoap) || soap_match_tag(pSoap, pSoap->tag, "SOAP-ENV:Envelope") ||
        soap_envelope_begin_in(pSoap)) {
        LOG_DEBUG_LIMITED("message dropped(no envelope, %d)", pSoap->error);
        return ERR_GENERAL;
    }
    if (soap_recv_header(pSoap) || soap_body_begin_in(pSoap) || soap_serve_request(pSoap)) {
        LOG_DEBUG_LIMITED("message dropped(%d)", pSoap->error);
        return ERR_GENERAL;
    }
    return RESULT_OK;
}

// Most '=' signs a datagram may hold; every attribute needs one. The toolkit looks each
// attribute name up in a list of all the names met so far in the message, so parsing time
// grows with the square of their number: 4,500 distinct names in 58 KB took 0.18 s, which
// would let a few such datagrams a second stall the receive thread.
const std::size_t kMaxEqualsSigns = 512;

// Called by the toolkit with the bytes it has read (a whole datagram), before parsing.
int LimitAttributes(struct soap*, const char* pData, size_t nSize) {
    std::size_t nEquals = 0;
    const char* pEnd = pData + nSize;
    for (const char* p = pData; (p = static_cast<const char*>(std::memchr(p, '=', pEnd - p)));
         ++p) {
        ++nEquals;
    }
    if (nEquals > kMaxEqualsSigns) {
        LOG_DEBUG_LIMITED("message dropped(%lu '=' signs)", static_cast<unsigned long>(nEquals));
        return kRefusedUnparsed;
    }
    return SOAP_OK;
}

// Called by the toolkit once the datagram is read, before the handler runs. The toolkit matches
// end tags by count only; every element opened must also have been closed.
int CheckAllClosed(struct soap* pSoap) {
    return pSoap->level == 0 ? SOAP_OK : SOAP_SYNTAX_ERROR;
}

}  // namespace

void SoapInitContext(struct soap* pSoap) {
    // Input keeps the toolkit's id/ref resolution. Its tree mode on input (SOAP_XML_TREE) would
    // save a pass over its tables per message, but it still records href/ref references while
    // no longer moving them with the arrays they point into: a message with such attributes
    // then makes the toolkit write into freed memory (the fuzz corpus shows it under
    // AddressSanitizer).
    soap_set_mode(pSoap, SOAP_IO_UDP | SOAP_C_UTFSTRING);
    soap_set_omode(pSoap, SOAP_XML_NOTYPE | SOAP_XML_TREE);
    soap_clr_omode(pSoap, SOAP_XML_INDENT);
    soap_set_namespaces(pSoap, namespaces);
    pSoap->encodingStyle = nullptr;
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

int SoapRenderProbe(struct soap* pSoap, struct tns__ProbeType* pstProbe, CSecretText* pDatagram) {
    struct __tns__Probe stWrapper;
    stWrapper.tns__Probe = pstProbe;
    return RenderRequest(pSoap, &stWrapper, "-tns:Probe", soap_serialize___tns__Probe,
                         soap_put___tns__Probe, pDatagram);
}

int SoapRenderKorvaneProbe(struct soap* pSoap, struct tns__ProbeType* pstProbe,
                           CSecretText* pDatagram) {
    struct __tns__KorvaneProbe stWrapper;
    stWrapper.tns__KorvaneProbe = pstProbe;
    return RenderRequest(pSoap, &stWrapper, "-tns:KorvaneProbe", soap_serialize___tns__KorvaneProbe,
                         soap_put___tns__KorvaneProbe, pDatagram);
}

int SoapRenderSetDeviceAddrReq(struct soap* pSoap, struct tns__SetDeviceAddrReqType* pstReq,
                               CSecretText* pDatagram) {
    struct __tns__SetDeviceAddrReq stWrapper;
    stWrapper.tns__SetDeviceAddrReq = pstReq;
    return RenderRequest(pSoap, &stWrapper, "-tns:SetDeviceAddrReq",
                         soap_serialize___tns__SetDeviceAddrReq, soap_put___tns__SetDeviceAddrReq,
                         pDatagram);
}

int SoapRenderSetDefaultCfgReq(struct soap* pSoap, struct tns__SetDefaultCfgReqType* pstReq,
                               CSecretText* pDatagram) {
    struct __tns__SetDefaultCfgReq stWrapper;
    stWrapper.tns__SetDefaultCfgReq = pstReq;
    return RenderRequest(pSoap, &stWrapper, "-tns:SetDefaultCfgReq",
                         soap_serialize___tns__SetDefaultCfgReq, soap_put___tns__SetDefaultCfgReq,
                         pDatagram);
}

int SoapRenderSetDefaultPasswdReq(struct soap* pSoap, struct tns__SetDefaultPasswdReqType* pstReq,
                                  CSecretText* pDatagram) {
    struct __tns__SetDefaultPasswdReq stWrapper;
    stWrapper.tns__SetDefaultPasswdReq = pstReq;
    return RenderRequest(pSoap, &stWrapper, "-tns:SetDefaultPasswdReq",
                         soap_serialize___tns__SetDefaultPasswdReq,
                         soap_put___tns__SetDefaultPasswdReq, pDatagram);
}

int SoapServe(struct soap* pSoap, const char* pData, std::size_t nSize) {
    if (pSoap == nullptr || (pData == nullptr && nSize != 0)) {
        LOG_ERROR("invalid param");
        return ERR_INVALID_PARAM;
    }
    std::istringstream stInput(std::string(pData, nSize));
    std::istream* pSavedInput = pSoap->is;
    int (*fnSend)(struct soap*, const char*, size_t) = pSoap->fsend;
    int (*fnRecv)(struct soap*, const char*, size_t) = pSoap->fpreparerecv;
    int (*fnFinalRecv)(struct soap*) = pSoap->fpreparefinalrecv;
    pSoap->is = &stInput;
    pSoap->fsend = DiscardOutput;
    pSoap->fpreparerecv = LimitAttributes;
    pSoap->fpreparefinalrecv = CheckAllClosed;
    const int nResult = ServeOne(pSoap);
    pSoap->is = pSavedInput;
    pSoap->fsend = fnSend;
    pSoap->fpreparerecv = fnRecv;
    pSoap->fpreparefinalrecv = fnFinalRecv;
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
