#include "front/front_request.h"

#include "common/common_error.h"
#include "common/common_util.h"
#include "front/front_address.h"

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
