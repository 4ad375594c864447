// The client's requests as rendered: the header every request carries and the bodies as the
// operations fill them (nothing is sent here).

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/common_error.h"
#include "freed_memory.h"
#include "mc_discovery.h"
#include "mc_request.h"

namespace {

const char kUuid[] = "2f0c9a4e-8d1b-4c3a-b6e5-7a9d0e1f2b3c";

struct RequestCase {
    const char* pszName;
    std::function<int(OutgoingPacket*)> render;
    PacketType type;
    std::string strBody;
    std::string strAction;  // the header's wsa:Action block, empty when it has none
};

void PrintTo(const RequestCase& stCase, std::ostream* pOut) {
    *pOut << stCase.pszName;
}

const DeviceIdentity kDevice{"SN12345", "00:11:22:33:44:55"};

std::vector<RequestCase> Cases() {
    const std::string strDevice =
        "<tns:DeviceInfo><tns:DeviceSerialNo>SN12345</tns:DeviceSerialNo>"
        "<tns:DeviceId>00:11:22:33:44:55</tns:DeviceId></tns:DeviceInfo>";
    return {
        {"Probe", [](OutgoingPacket* p) { return RenderProbe(kUuid, p); }, PKT_TYPE_PROBE,
         "<tns:Probe><tns:Types>dn:NetworkVideoTransmitter</tns:Types></tns:Probe>",
         "<wsa:Action SOAP-ENV:mustUnderstand=\"true\">"
         "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</wsa:Action>"},
        // The vendor messages go to the maker's devices only, without wsa:Action.
        {"KorvaneProbe", [](OutgoingPacket* p) { return RenderKorvaneProbe(kUuid, p); },
         PKT_TYPE_KORVANE_PROBE,
         "<tns:KorvaneProbe><tns:Types>dn:NetworkVideoTransmitter</tns:Types>"
         "</tns:KorvaneProbe>",
         ""},
        {"SetDeviceAddr",
         [](OutgoingPacket* p) {
             return RenderSetDeviceAddr(kUuid, 10001, UserInfo{"admin", CSecretText("c1f2")},
                                        kDevice, DeviceAddress{"192.0.2.20", "255.255.255.0", ""},
                                        p);
         },
         PKT_TYPE_SET_DEVICE_ADDR,
         "<tns:SetDeviceAddrReq><tns:OpUserInfo><tns:UserName>admin</tns:UserName>"
         "<tns:AuthCode>c1f2</tns:AuthCode><tns:UserId>" +
             std::string(kUuid) + "</tns:UserId><tns:MsgSeq>10001</tns:MsgSeq></tns:OpUserInfo>" +
             strDevice +
             "<tns:DeviceAddrInfo><tns:DeviceIpaddr>192.0.2.20</tns:DeviceIpaddr>"
             "<tns:DeviceIpMask>255.255.255.0</tns:DeviceIpMask><tns:DefaultGW/>"
             "</tns:DeviceAddrInfo></tns:SetDeviceAddrReq>",
         ""},
        // A password restore names no operator.
        {"SetDefaultPasswd",
         [](OutgoingPacket* p) {
             return RenderSetDefaultPasswd(kUuid, 10002, kDevice, CSecretText("8F3A"), p);
         },
         PKT_TYPE_SET_DEFAULT_PASSWD,
         "<tns:SetDefaultPasswdReq><tns:OpUserInfo><tns:UserName/><tns:AuthCode/><tns:UserId>" +
             std::string(kUuid) + "</tns:UserId><tns:MsgSeq>10002</tns:MsgSeq></tns:OpUserInfo>" +
             strDevice +
             "<tns:PasswordAuthCode>8F3A</tns:PasswordAuthCode></tns:SetDefaultPasswdReq>",
         ""},
    };
}

class RequestTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(RequestTest, CarriesTheClientsHeaderAndBody) {
    const RequestCase& stCase = GetParam();
    OutgoingPacket packet;
    ASSERT_EQ(stCase.render(&packet), 0);
    EXPECT_EQ(packet.type, stCase.type);
    const std::string strTail = "<SOAP-ENV:Header><wsa:MessageID>urn:uuid:" + std::string(kUuid) +
                                "</wsa:MessageID><wsa:To SOAP-ENV:mustUnderstand=\"true\">"
                                "urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To>" +
                                stCase.strAction + "</SOAP-ENV:Header><SOAP-ENV:Body>" +
                                stCase.strBody + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
    const std::string_view datagram = packet.datagram.View();
    ASSERT_GE(datagram.size(), strTail.size());
    EXPECT_EQ(datagram.substr(datagram.size() - strTail.size()), strTail);
    EXPECT_EQ(datagram.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Requests, RequestTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<RequestCase>& caseInfo) {
                             return std::string(caseInfo.param.pszName);
                         });

// A configuration request carries the scrambled password or the serial code: once its packet
// is gone, no memory given back to the heap holds either (freed_memory.h).
TEST(RequestSecrets, RenderedRequestsLeaveNoCopyInReleasedMemory) {
    const std::string authCode = "+I]b?D+0lN!gSX:5+I]b?D+0";
    const std::string serialCode = "SERIAL-CODE-0123456789";
    const std::vector<std::function<int(OutgoingPacket*)>> renders = {
        [&authCode](OutgoingPacket* p) {
            return RenderSetDeviceAddr(kUuid, 1, UserInfo{"admin", CSecretText(authCode)}, kDevice,
                                       DeviceAddress{"192.0.2.20", "255.255.255.0", ""}, p);
        },
        [&serialCode](OutgoingPacket* p) {
            return RenderSetDefaultPasswd(kUuid, 2, kDevice, CSecretText(serialCode), p);
        },
    };
    for (const auto& render : renders) {
        int hits = 0;
        {
            CFreedMemoryWatch watch({authCode.substr(0, 8), serialCode.substr(0, 8)});
            {
                OutgoingPacket packet;
                ASSERT_EQ(render(&packet), 0);
                EXPECT_TRUE(packet.datagram.View().find(authCode) != std::string_view::npos ||
                            packet.datagram.View().find(serialCode) != std::string_view::npos);
            }
            hits = watch.Hits();
        }
        EXPECT_EQ(hits, 0);
    }
}

// A request that cannot fit one datagram is refused at once: nothing is sent, nothing waits.
// The client is not started, so it has no socket either.
TEST(RequestRefusal, ConfigurationRequestLongerThanADatagramFailsAtOnce) {
    CDiscoveryThread client;
    const CSecretText code(std::string(70000, '7'));
    EXPECT_EQ(client.SetDefaultPasswd(0, kDevice, code), ERR_NO_MEMORY);
    EXPECT_EQ(client.SetDeviceAddr(0, UserInfo{"admin", CSecretText(code.View())}, kDevice,
                                   DeviceAddress{}),
              ERR_NO_MEMORY);
    EXPECT_EQ(client.Messages().Size(), 0u);
}

}  // namespace
