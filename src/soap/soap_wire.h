#pragma once

// Discovery wire protocol: SOAP 1.2 envelopes in single UDP datagrams.
//
// The records (tns__ProbeType, tns__ProbeMatchesType, tns__SetDeviceAddrReqType, ...,
// SOAP_ENV__Header) and their serialisers are generated from scoutcam_wire.h into soapH.h.
//
// Typical use:
//   struct soap* pSoap = soap_new();
//   SoapInitContext(pSoap);                      // UDP, UTF-8, literal, namespace table
//   pSoap->recv_timeout = 3;                     // caller's time-outs and socket options
//   SoapBindUdp(pSoap, "0.0.0.0", 3702);         // IPv4 socket the context sends and receives on
//   SoapSetAnswerHandler(pSoap, pHandler);       // receive context only
//   for (;;) { SoapServe(pSoap); soap_destroy(pSoap); soap_end(pSoap); }
//
//   // sending (per request):
//   SoapAttachRequestHeader(pSoap, "urn:uuid:...", SOAP_WIRE_DISCOVERY_URN, nullptr);
//   SoapSendProbe(pSoap, "soap.udp://239.255.255.250:3702", nullptr, &stProbe);
//   soap_destroy(pSoap); soap_end(pSoap);        // releases the header and message memory
//
// A context sends from pSoap->socket. To send through a socket that another context bound (for
// example the receive socket, so that every answer reaches it), set pSoap->socket to that
// descriptor on a context of its own, and back to SOAP_INVALID_SOCKET before soap_free(),
// which closes the socket the context holds. One thread per context at a time.

#include <cstddef>

#include "soapH.h"

// WS-Discovery (April 2005) namespace; every message element is qualified with it.
#define SOAP_WIRE_DISCOVERY_NS "http://schemas.xmlsoap.org/ws/2005/04/discovery"
// Well-known destination written in wsa:To of every request.
#define SOAP_WIRE_DISCOVERY_URN "urn:schemas-xmlsoap-org:ws:2005:04:discovery"
// Device type probed for; its prefix is declared by the namespace table.
#define SOAP_WIRE_NVT_TYPE "dn:NetworkVideoTransmitter"

// Largest envelope that is sent: one UDP datagram.
constexpr std::size_t SOAP_WIRE_MAX_DATAGRAM = 65536;

// The nine-row prefix table (SOAP-ENV, SOAP-ENC, xsi, xsd, xop, wsa, tns, dn, wsa5) that every
// context uses; xsi and xsd also match other years of the XML Schema namespaces on input.
extern const struct Namespace* const g_soapNamespaces;

// Receiver of the five answers. The serve routine calls the handler of the received element
// with the context (its header record in soap->header, null when the message had none) and the
// parsed body. Records live in the context's message memory until soap_end(); copy what you
// keep. Return 0 to accept; any other value makes SoapServe return 12.
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

// Initialises a context (constructed with soap_new or soap_init): SOAP-over-UDP, UTF-8 string
// mode, literal output without xsi:type, ids or indentation, and the namespace table.
void SoapInitContext(struct soap* pSoap);

// Binds the context to a dotted IPv4 address ("0.0.0.0" for any) and port (0: any free one)
// with SO_REUSEADDR; the bound socket (pSoap->socket, also pSoap->master) is the one the send
// operations send from and SoapServe receives on; set further socket options on it directly.
// Returns 0 or 11000.
int SoapBindUdp(struct soap* pSoap, const char* pszIp, int nPort);

// Installs the receiver of the answers on a receive context (stored in soap->user; on a receive
// context set it only through this call).
void SoapSetAnswerHandler(struct soap* pSoap, ISoapAnswerHandler* pHandler);

// Attaches a request header in the context's message memory with wsa:MessageID, wsa:To and
// wsa:Action copied from the given strings (null leaves the block out). It stays attached
// until soap_end(). Returns 0 or 10004.
int SoapAttachRequestHeader(struct soap* pSoap, const char* pszMessageId, const char* pszTo,
                            const char* pszAction);

// Send operations. Each renders one envelope and sends it as one datagram from the context's
// bound socket to the host and port of pszEndpoint ("soap.udp://%s:%d", dotted IPv4 host).
// A caller that transmits datagrams itself installs its own soap->fsend: it is called once
// with the finished datagram, soap->peer.in holding the endpoint's address. pszAction null
// selects the message's default action (never on the wire over UDP). A null body record gives
// an empty SOAP-ENV:Body. Returns 0 when the datagram was handed over, otherwise the toolkit's
// error code (also left in soap->error): 27 for an envelope longer than 65,536 bytes, 28 for a
// malformed endpoint or an unbound context (nothing sent in either case), -1 when sending
// failed. The caller runs soap_destroy()/soap_end() afterwards.
int SoapSendProbe(struct soap* pSoap, const char* pszEndpoint, const char* pszAction,
                  struct tns__ProbeType* pstProbe);
int SoapSendKorvaneProbe(struct soap* pSoap, const char* pszEndpoint, const char* pszAction,
                         struct tns__ProbeType* pstProbe);
int SoapSendSetDeviceAddrReq(struct soap* pSoap, const char* pszEndpoint, const char* pszAction,
                             struct tns__SetDeviceAddrReqType* pstReq);
int SoapSendSetDefaultCfgReq(struct soap* pSoap, const char* pszEndpoint, const char* pszAction,
                             struct tns__SetDefaultCfgReqType* pstReq);
int SoapSendSetDefaultPasswdReq(struct soap* pSoap, const char* pszEndpoint, const char* pszAction,
                                struct tns__SetDefaultPasswdReqType* pstReq);

// Receives one datagram on the bound socket (waiting at most soap->recv_timeout), parses it and
// dispatches its body: the five answers go to the installed ISoapAnswerHandler, probes and
// configuration requests are ignored, Hello/Bye/Resolve/ResolveMatches refused. Returns 0 when
// the message was handled or ignored; 12 when it was refused, unknown, malformed (also: more than
// 512 '=' signs, as attributes cost the toolkit's parser quadratic time) or its handler failed; the
// toolkit's code when no datagram could be received (for example -1 after the time-out). Never
// sends anything. The caller runs soap_destroy()/soap_end() after each call.
int SoapServe(struct soap* pSoap);

// Parses one datagram held in memory and dispatches it exactly like SoapServe (no socket I/O).
int SoapServeBuffer(struct soap* pSoap, const char* pData, std::size_t nSize);
