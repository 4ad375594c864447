/*
    Schema description of the discovery and device-configuration messages for soapcpp2.

    SOAP 1.2, document/literal, one envelope per UDP datagram. The build generates the
    records, serialisers and serve skeleton from this file; nothing generated is kept in
    the source tree.

    The namespace table installed in every context is the one of soap_wire.cpp
    (SoapInitContext); the nsmap that soapcpp2 writes is not used.
*/
// soapcpp2 input, not C++: its //gsoap directives and @attributes must keep their spelling.
// clang-format off

// Header blocks, in the order they are written: wsse:Security, the seven
// WS-Addressing 2004/08 blocks, then the seven WS-Addressing 1.0 blocks.
#import "wsse.h"
#import "wsa.h"
#import "wsa5.h"

//gsoap tns schema namespace:     http://schemas.xmlsoap.org/ws/2005/04/discovery
//gsoap tns schema elementForm:   qualified
//gsoap tns schema attributeForm: unqualified

//gsoap dn schema namespace:      http://www.onvif.org/ver10/network/wsdl

/* ---- Discovery simple content ---- */

/// White-space separated qualified type names, kept as received.
typedef char *tns__QNameListType;

/// White-space separated URIs.
typedef char *tns__UriListType;

/// Scopes: a URI list with an optional matching rule.
struct tns__ScopesType
{
    char *__item;
    @char *MatchBy 0;
};

/* ---- Discovery records ---- */

struct tns__ProbeType
{
    tns__QNameListType      tns__Types  0;
    struct tns__ScopesType *tns__Scopes 0;
};

struct tns__ProbeMatchType
{
    struct wsa__EndpointReferenceType wsa__EndpointReference 1;
    tns__QNameListType                tns__Types             0;
    struct tns__ScopesType           *tns__Scopes            0;
    tns__UriListType                  tns__XAddrs            0;
    unsigned int                      tns__MetadataVersion   1;
};

struct tns__ProbeMatchesType
{
    int                         __sizeProbeMatch        0;
    struct tns__ProbeMatchType *tns__ProbeMatch         0;
};

struct tns__HelloType
{
    struct wsa__EndpointReferenceType wsa__EndpointReference 1;
    tns__QNameListType                tns__Types             0;
    struct tns__ScopesType           *tns__Scopes            0;
    tns__UriListType                  tns__XAddrs            0;
    unsigned int                      tns__MetadataVersion   1;
};

struct tns__ByeType
{
    struct wsa__EndpointReferenceType wsa__EndpointReference 1;
    tns__QNameListType                tns__Types             0;
    struct tns__ScopesType           *tns__Scopes            0;
    tns__UriListType                  tns__XAddrs            0;
    unsigned int                     *tns__MetadataVersion   0;
};

struct tns__ResolveType
{
    struct wsa__EndpointReferenceType wsa__EndpointReference 1;
};

struct tns__ResolveMatchType
{
    struct wsa__EndpointReferenceType wsa__EndpointReference 1;
    tns__QNameListType                tns__Types             0;
    struct tns__ScopesType           *tns__Scopes            0;
    tns__UriListType                  tns__XAddrs            1;
    unsigned int                      tns__MetadataVersion   1;
};

struct tns__ResolveMatchesType
{
    struct tns__ResolveMatchType *tns__ResolveMatch 0;
};

/* ---- Device-configuration records ----
   Text members are optional on output so that an absent text writes no element
   (a required one would be written as a nil element). */

struct tns__OpUserInfo
{
    char        *tns__UserName 0;
    char        *tns__AuthCode 0;
    char        *tns__UserId   0;
    unsigned int tns__MsgSeq   1;
};

struct tns__DeviceInfo
{
    char *tns__DeviceSerialNo 0;
    char *tns__DeviceId       0;
};

struct tns__DeviceAddrInfo
{
    char *tns__DeviceIpaddr  0;
    char *tns__DeviceIpMask  0;
    char *tns__DefaultGW     0;
};

struct tns__SetDeviceAddrReqType
{
    struct tns__OpUserInfo     *tns__OpUserInfo     0;
    struct tns__DeviceInfo     *tns__DeviceInfo     0;
    struct tns__DeviceAddrInfo *tns__DeviceAddrInfo 0;
};

struct tns__SetDefaultCfgReqType
{
    struct tns__OpUserInfo *tns__OpUserInfo 0;
    struct tns__DeviceInfo *tns__DeviceInfo 0;
};

struct tns__SetDefaultPasswdReqType
{
    struct tns__OpUserInfo *tns__OpUserInfo      0;
    struct tns__DeviceInfo *tns__DeviceInfo      0;
    char                   *tns__PasswordAuthCode 0;
};

struct tns__SetDeviceAddrRspType
{
    struct tns__OpUserInfo *tns__OpUserInfo 0;
    struct tns__DeviceInfo *tns__DeviceInfo 0;
    int                     tns__result     1;
};

struct tns__SetDefaultCfgRspType
{
    struct tns__OpUserInfo *tns__OpUserInfo 0;
    struct tns__DeviceInfo *tns__DeviceInfo 0;
    int                     tns__result     1;
};

struct tns__SetDefaultPasswdRspType
{
    struct tns__OpUserInfo *tns__OpUserInfo 0;
    struct tns__DeviceInfo *tns__DeviceInfo 0;
    int                     tns__result     1;
};

/* ---- One-way operations ----
   Declaration order is the receive dispatch order. Each body element is the
   operation's single parameter (no wrapper element). */

//gsoap tns service name:          wire
//gsoap tns service style:         document
//gsoap tns service encoding:      literal

//gsoap tns service method-action: Hello http://schemas.xmlsoap.org/ws/2005/04/discovery/Hello
int __tns__Hello(struct tns__HelloType *tns__Hello, void);

//gsoap tns service method-action: Bye http://schemas.xmlsoap.org/ws/2005/04/discovery/Bye
int __tns__Bye(struct tns__ByeType *tns__Bye, void);

//gsoap tns service method-action: Probe http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe
int __tns__Probe(struct tns__ProbeType *tns__Probe, void);

//gsoap tns service method-action: ProbeMatches http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches
int __tns__ProbeMatches(struct tns__ProbeMatchesType *tns__ProbeMatches, void);

//gsoap tns service method-action: KorvaneProbe http://schemas.xmlsoap.org/ws/2005/04/discovery/KorvaneProbe
int __tns__KorvaneProbe(struct tns__ProbeType *tns__KorvaneProbe, void);

//gsoap tns service method-action: KorvaneProbeMatches http://schemas.xmlsoap.org/ws/2005/04/discovery/KorvaneProbeMatches
int __tns__KorvaneProbeMatches(struct tns__ProbeMatchesType *tns__KorvaneProbeMatches, void);

//gsoap tns service method-action: Resolve http://schemas.xmlsoap.org/ws/2005/04/discovery/Resolve
int __tns__Resolve(struct tns__ResolveType *tns__Resolve, void);

//gsoap tns service method-action: ResolveMatches http://schemas.xmlsoap.org/ws/2005/04/discovery/ResolveMatches
int __tns__ResolveMatches(struct tns__ResolveMatchesType *tns__ResolveMatches, void);

//gsoap tns service method-action: SetDeviceAddrReq http://schemas.xmlsoap.org/ws/2005/04/discovery/SetDeviceAddrReq
int __tns__SetDeviceAddrReq(struct tns__SetDeviceAddrReqType *tns__SetDeviceAddrReq, void);

//gsoap tns service method-action: SetDeviceAddrRsp http://schemas.xmlsoap.org/ws/2005/04/discovery/SetDeviceAddrRsp
int __tns__SetDeviceAddrRsp(struct tns__SetDeviceAddrRspType *tns__SetDeviceAddrRsp, void);

//gsoap tns service method-action: SetDefaultCfgReq http://schemas.xmlsoap.org/ws/2005/04/discovery/SetDefaultCfgReq
int __tns__SetDefaultCfgReq(struct tns__SetDefaultCfgReqType *tns__SetDefaultCfgReq, void);

//gsoap tns service method-action: SetDefaultCfgRsp http://schemas.xmlsoap.org/ws/2005/04/discovery/SetDefaultCfgRsp
int __tns__SetDefaultCfgRsp(struct tns__SetDefaultCfgRspType *tns__SetDefaultCfgRsp, void);

//gsoap tns service method-action: SetDefaultPasswdReq http://schemas.xmlsoap.org/ws/2005/04/discovery/SetDefaultPasswdReq
int __tns__SetDefaultPasswdReq(struct tns__SetDefaultPasswdReqType *tns__SetDefaultPasswdReq, void);

//gsoap tns service method-action: SetDefaultPasswdRsp http://schemas.xmlsoap.org/ws/2005/04/discovery/SetDefaultPasswdRsp
int __tns__SetDefaultPasswdRsp(struct tns__SetDefaultPasswdRspType *tns__SetDefaultPasswdRsp, void);
