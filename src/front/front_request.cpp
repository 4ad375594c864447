#include "front/front_request.h"

#include "common/common_error.h"
#include "common/common_util.h"
#include "front/front_address.h"

namespace {
const char kAdminUser[] = "admin";
}  // namespace

int MakeOperator(const std::string& password, UserInfo& user) {
    std::string authCode;
    // Text2CipherString has logged its refusal.
    if (Text2CipherString(password, authCode) != RESULT_OK) {
        return ERR_INVALID_PARAM;
    }
    user.m_userName = kAdminUser;
    user.m_authCode = authCode;
    return RESULT_OK;
}

DeviceIdentity MakeDeviceIdentity(const CDiscoveryBean& device) {
    return DeviceIdentity{device.m_serialNo, device.m_macAddr};
}

DeviceAddress MakeDeviceAddress(uint32_t ip, uint32_t mask, uint32_t gateway) {
    return DeviceAddress{HostToIpText(ip), HostToIpText(mask), HostToIpText(gateway)};
}
