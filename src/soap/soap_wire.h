#pragma once

// Discovery wire protocol: SOAP 1.2 envelopes, one per UDP datagram, rendered to bytes and
// parsed from bytes. Sockets are the caller's: this layer never sends or receives.
//
// The records (tns__ProbeType, tns__ProbeMatchesType, tns__SetDeviceAddrReqType, ...,
// SOAP_ENV__Header) and their serialisers are generated from scoutcam_wire.h into soapH.h.
//
// Typical use:
//   struct soap* pSoap = soap_new();
//   SoapInitContext(pSoap);                      // UTF-8, literal, namespace table
//
//   // a request:
//   SoapAttachRequestHeader(pSoap, "urn:uuid:...", SOAP_WIRE_DISCOVERY_URN, nullptr);
//   CSecretText datagram;
//   SoapRenderProbe(pSoap, &stProbe, &datagram); // the caller sends the datagram
//   soap_destroy(pSoap); soap_end(pSoap);        // releases the header and message memory
//
//   // received datagrams (a context of its own):
//   SoapSetAnswerHandler(pSoap, pHandler);
//   SoapServe(pSoap, pData, nSize); soap_destroy(pSoap); soap_end(pSoap);
//
// Every function returns the project's result codes (common_error.h). One thread per context
// at a time.

#include <cstddef>
#include <string>

#include "common/common_secret.h"
#include "soapH.h"

// WS-Discovery (April 2005) namespace; every message element is qualified with it.
#define SOAP_WIRE_DISCOVERY_NS "http://schemas.xmlsoap.org/ws/2005/04/discovery"
// Well-known destination written in wsa:To of every request.
#define SOAP_WIRE_DISCOVERY_URN "urn:schemas-xmlsoap-org:ws:2005:04:discovery"
// wsa:Action of tns:Probe. Devices that follow WS-Addressing to the letter ignore a probe
// without it; the vendor messages carry none.
#define SOAP_WIRE_PROBE_ACTION SOAP_WIRE_DISCOVERY_NS "/Probe"
// Device type probed for; its prefix is declared by the namespace table.
#define SOAP_WIRE_NVT_TYPE "dn:NetworkVideoTransmitter"
// What a rendered request writes right before its message id; an answer names the id in its
// RelatesTo instead.
#define SOAP_WIRE_MESSAGE_ID_START "<wsa:MessageID>"

// Largest envelope that is sent: one UDP datagram.
constexpr std::size_t SOAP_WIRE_MAX_DATAGRAM = 65536;

// Receiver of the five answers. The serve routine calls the handler of the received element
// with the context (its header record in soap->header, null when the message had none) and the
// parsed body. Records live in the context's message memory until soap_end(); copy what you
// keep. Return 0 to accept; any other value makes SoapServe drop the message (10000).
class ISoapAnswerHandler {
public:
    virtual ~ISoapAnswerHandler() = default;
    virtual int OnProbeMatches(struct soap* pSoap,
                               struct tns__ProbeMatchesType* pstProbeMatches) = 0;
    virtual int OnKorvaneProbeMatches(struct soap* pSoap,
                                      struct tns__ProbeMatchesType* pstProbeMatches) = 0;
    virtual int OnSetDeviceAddrRsp(struct soap* pSoap,
                                   struct tns__SetDeviceAddrRspType* pstRsp) = 0;
    virtual int OnSetDefaultCfgRsp(struct soap* pSoap,
                                   struct tns__SetDefaultCfgRspType* pstRsp) = 0;
    virtual int OnSetDefaultPasswdRsp(struct soap* pSoap,
                                      struct tns__SetDefaultPasswdRspType* pstRsp) = 0;
};

// Initialises a context (constructed with soap_new or soap_init): SOAP-over-UDP framing (no
// transport header), UTF-8 string mode, literal output without xsi:type, ids or indentation,
// and the nine-row prefix table (SOAP-ENV, SOAP-ENC, xsi, xsd, xop, wsa, tns, dn, wsa5); xsi
// and xsd also match other years of the XML Schema namespaces on input.
void SoapInitContext(struct soap* pSoap);

// Installs the receiver of the answers on a receive context (stored in soap->user; on a receive
// context set it only through this call).
void SoapSetAnswerHandler(struct soap* pSoap, ISoapAnswerHandler* pHandler);

// Attaches a request header in the context's message memory with wsa:MessageID, wsa:To and
// wsa:Action copied from the given strings (null leaves the block out). It stays attached
// until soap_end(). Returns 0 or 10004.
int SoapAttachRequestHeader(struct soap* pSoap, const char* pszMessageId, const char* pszTo,
                            const char* pszAction);

// Render operations, one per request element. Each renders one envelope (the attached header
// record, if any, and the body record; a null body record gives an empty SOAP-ENV:Body) into
// *pDatagram, the exact bytes of one UDP datagram. Returns 0; 10004 when the envelope is longer
// than one datagram (65,536 bytes) or memory ran out, with *pDatagram empty; 10001 for a null
// context or output; 10000 when the toolkit failed otherwise. The header stays attached, so
// one context renders several requests with it. The envelope is in *pDatagram only: the
// context's own send buffer is wiped after each rendering, as a request may carry a password.
int SoapRenderProbe(struct soap* pSoap, struct tns__ProbeType* pstProbe, CSecretText* pDatagram);
int SoapRenderKorvaneProbe(struct soap* pSoap, struct tns__ProbeType* pstProbe,
                           CSecretText* pDatagram);
int SoapRenderSetDeviceAddrReq(struct soap* pSoap, struct tns__SetDeviceAddrReqType* pstReq,
                               CSecretText* pDatagram);
int SoapRenderSetDefaultCfgReq(struct soap* pSoap, struct tns__SetDefaultCfgReqType* pstReq,
                               CSecretText* pDatagram);
int SoapRenderSetDefaultPasswdReq(struct soap* pSoap, struct tns__SetDefaultPasswdReqType* pstReq,
                                  CSecretText* pDatagram);

// Parses one received datagram and dispatches its body: the five answers go to the installed
// ISoapAnswerHandler, probes and configuration requests are ignored, Hello/Bye/Resolve/
// ResolveMatches refused. Returns 0 when the message was handled or ignored (also when the
// toolkit finished with the datagram itself, as for an HTTP HEAD line); 10000 when it was
// dropped: refused, unknown, malformed (also: more than 512 '=' signs, as attributes cost the
// toolkit's parser quadratic time) or its handler refused it; 10005 when no message could be
// read from the bytes (empty, not XML, an HTTP request line); 10001 for a null argument.
// Nothing is ever sent in reply. The caller runs soap_destroy()/soap_end() after each call.
int SoapServe(struct soap* pSoap, const char* pData, std::size_t nSize);
