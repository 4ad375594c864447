// The operator record and the other parts of a configuration request.

#include <gtest/gtest.h>

#include <string>

#include "common/common_error.h"
#include "common/common_util.h"
#include "front/front_address.h"
#include "front/front_request.h"

namespace {

TEST(FrontRequest, OperatorIsAdminWithTheScrambledPassword) {
    for (const std::string& text : {std::string(), std::string("pw"), std::string(127, 'x')}) {
        const CSecretText password(text);
        UserInfo user;
        ASSERT_EQ(MakeOperator(password, user), RESULT_OK) << text.size();
        CSecretText cipher;
        ASSERT_EQ(Text2CipherString(password, cipher), RESULT_OK);
        EXPECT_EQ(user.m_userName, "admin");
        EXPECT_EQ(user.m_authCode.View(), cipher.View());
    }
}

TEST(FrontRequest, PasswordTheScramblerCannotTakeIsRefused) {
    UserInfo user{"before", CSecretText("code")};
    EXPECT_EQ(MakeOperator(CSecretText(std::string(128, 'x')), user), ERR_INVALID_PARAM);
    EXPECT_EQ(user.m_userName, "before");
    EXPECT_EQ(user.m_authCode.View(), "code");
}

TEST(FrontRequest, IdentityAndNewAddress) {
    CDiscoveryBean device;
    device.m_serialNo = "SN-1";
    device.m_macAddr = "00:1b:d3:01:00:01";
    const DeviceIdentity identity = MakeDeviceIdentity(device);
    EXPECT_EQ(identity.m_serialNo, "SN-1");
    EXPECT_EQ(identity.m_deviceId, "00:1b:d3:01:00:01");  // as the device sent it

    const DeviceAddress address =
        MakeDeviceAddress(IpTextToHost("192.168.1.20"), IpTextToHost("255.255.255.0"), 0);
    EXPECT_EQ(address.m_ipAddr, "192.168.1.20");
    EXPECT_EQ(address.m_mask, "255.255.255.0");
    EXPECT_EQ(address.m_gateway, "0.0.0.0");
}

}  // namespace
