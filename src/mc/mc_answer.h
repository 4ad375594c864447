#pragma once

// Answer handling of the discovery client: the receiver that the serve routine calls with
// each parsed answer, on the discovery thread.

#include "mc/mc_discovery.h"
#include "soap_wire.h"

class CAnswerHandler : public ISoapAnswerHandler {
public:
    explicit CAnswerHandler(CDiscoveryThread* pClient) : m_pClient(pClient) {}

    int OnProbeMatches(struct soap* pSoap, struct tns__ProbeMatchesType* pstProbeMatches) override;
    int OnKorvaneProbeMatches(struct soap* pSoap,
                              struct tns__ProbeMatchesType* pstProbeMatches) override;
    int OnSetDeviceAddrRsp(struct soap* pSoap, struct tns__SetDeviceAddrRspType* pstRsp) override;
    int OnSetDefaultCfgRsp(struct soap* pSoap, struct tns__SetDefaultCfgRspType* pstRsp) override;
    int OnSetDefaultPasswdRsp(struct soap* pSoap,
                              struct tns__SetDefaultPasswdRspType* pstRsp) override;

private:
    int OnConfigRsp(const struct tns__OpUserInfo* pstUser,
                    const struct tns__DeviceInfo* pstDevice, int result);

    CDiscoveryThread* m_pClient;
};

// The first non-empty piece of XAddrs cut at every 'h', 't', 'p', '/' and ':': the host of
// the first address for the usual "http://a.b.c.d[:port]/path".
std::string HostOfXAddrs(const char* pXAddrs);

// Fills hardware, serial number, version, MAC and the brand flag of a record from the
// blank-separated ONVIF scopes of a probe match.
void FillFromScopes(const char* pScopes, CDiscoveryBean* pRecord);
