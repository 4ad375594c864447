#include "front/front_request.h"

#include "common/common_error.h"
#include "common/common_util.h"
#include "front/front_address.h"

#include <memory>
#include <utility>

namespace {
const char kAdminUser[] = "admin";
}  // namespace

int MakeOperator(const CSecretText& password, UserInfo& user) {
    // Text2CipherString has logged its refusal, and left the code as it was.
    if (Text2CipherString(password, user.m_authCode) != RESULT_OK) {
        return ERR_INVALID_PARAM;
    }
    user.m_userName = kAdminUser;
    return RESULT_OK;
}

DeviceIdentity MakeDeviceIdentity(const CDiscoveryBean& device) {
    return DeviceIdentity{device.m_serialNo, device.m_macAddr};
}

DeviceAddress MakeDeviceAddress(uint32_t ip, uint32_t mask, uint32_t gateway) {
    return DeviceAddress{HostToIpText(ip), HostToIpText(mask), HostToIpText(gateway)};
}

uint32_t CommandTarget(bool exactSearch, const CDiscoveryBean& record) {
    return exactSearch ? IpTextToHost(record.m_ipAddr) : 0;
}

int MakeAddressRequest(IDiscoveryClient* pClient, uint32_t target, const CDiscoveryBean& record,
                       const CSecretText& password, const DeviceAddress& newAddr,
                       DeviceRequest* pRequest) {
    auto pUser = std::make_shared<UserInfo>();
    const int ret = MakeOperator(password, *pUser);
    if (ret != RESULT_OK) {
        return ret;
    }
    const DeviceIdentity device = MakeDeviceIdentity(record);
    *pRequest = [pClient, target, pUser, device, newAddr]() {
        return pClient->SetDeviceAddr(target, *pUser, device, newAddr);
    };
    return RESULT_OK;
}

DeviceRequest MakePasswordRequest(IDiscoveryClient* pClient, uint32_t target,
                                  const CDiscoveryBean& record, CSecretText serialCode) {
    auto pSerialCode = std::make_shared<const CSecretText>(std::move(serialCode));
    const DeviceIdentity device = MakeDeviceIdentity(record);
    return [pClient, target, device, pSerialCode]() {
        return pClient->SetDefaultPasswd(target, device, *pSerialCode);
    };
}
