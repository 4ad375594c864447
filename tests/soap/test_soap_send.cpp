// What the render operations put on the wire: byte-exact datagrams, checked as XML and against
// the published schemas.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "common/common_error.h"
#include "soap_test_util.h"

namespace {

const char kEnvelopeStart[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<SOAP-ENV:Envelope"
    " xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\""
    " xmlns:SOAP-ENC=\"http://www.w3.org/2003/05/soap-encoding\""
    " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
    " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
    " xmlns:xop=\"http://www.w3.org/2004/08/xop/include\""
    " xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
    " xmlns:tns=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
    " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\""
    " xmlns:wsa5=\"http://www.w3.org/2005/08/addressing\">";

const char kMessageId[] = "urn:uuid:6b1c7e52-3f0a-4d2b-9a61-0c5e8d2f4a17";

const char kRequestHeader[] =
    "<SOAP-ENV:Header>"
    "<wsa:MessageID>urn:uuid:6b1c7e52-3f0a-4d2b-9a61-0c5e8d2f4a17</wsa:MessageID>"
    "<wsa:To SOAP-ENV:mustUnderstand=\"true\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To>"
    "</SOAP-ENV:Header>";

std::string Envelope(const std::string& strHeader, const std::string& strBody) {
    return kEnvelopeStart + strHeader + "<SOAP-ENV:Body>" + strBody +
           "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

std::string Replace(std::string strText, const std::string& strFrom, const std::string& strTo) {
    for (size_t nPos = strText.find(strFrom); nPos != std::string::npos;
         nPos = strText.find(strFrom, nPos + strTo.size())) {
        strText.replace(nPos, strFrom.size(), strTo);
    }
    return strText;
}

class SoapRenderTest : public ::testing::Test {
protected:
    void AttachHeader() {
        ASSERT_EQ(SoapAttachRequestHeader(Soap(), kMessageId, SOAP_WIRE_DISCOVERY_URN, nullptr), 0);
    }

    // The schemas are checked where xmllint is (Linux). Every platform compares the exact
    // bytes, so what Windows renders is what Linux has validated.
    void ExpectValidXml([[maybe_unused]] const std::string& strXml) {
#ifdef SCOUTCAM_XMLLINT
        EXPECT_EQ(XmlLintProblems(strXml), "") << strXml;
#endif
    }

    struct soap* Soap() {
        return m_context.Get();
    }

    // The last rendered datagram, as a string to compare.
    std::string Datagram() const {
        return std::string(m_datagram.View());
    }

    CTestContext m_context;
    CSecretText m_datagram;
};

struct tns__ProbeType NvtProbe() {
    struct tns__ProbeType stProbe {};
    stProbe.tns__Types = const_cast<char*>(SOAP_WIRE_NVT_TYPE);
    return stProbe;
}

TEST_F(SoapRenderTest, ProbesAreExactAndDifferOnlyInTheElementName) {
    struct tns__ProbeType stProbe = NvtProbe();
    AttachHeader();
    ASSERT_EQ(SoapRenderProbe(Soap(), &stProbe, &m_datagram), 0);
    const std::string strProbe = Datagram();
    EndMessage(Soap());

    AttachHeader();
    ASSERT_EQ(SoapRenderKorvaneProbe(Soap(), &stProbe, &m_datagram), 0);
    const std::string strKorvane = Datagram();
    EndMessage(Soap());

    const std::string strExpected = Envelope(
        kRequestHeader, "<tns:Probe><tns:Types>dn:NetworkVideoTransmitter</tns:Types></tns:Probe>");
    EXPECT_EQ(strProbe, strExpected);
    EXPECT_EQ(strKorvane, Replace(strExpected, "tns:Probe>", "tns:KorvaneProbe>"));
    ExpectValidXml(strProbe);
}

// The standard probe as the client sends it: wsa:Action last, flagged like wsa:To, as the
// header record writes it; WS-Addressing's schema takes the flag on either block.
TEST_F(SoapRenderTest, ProbeWithActionIsExactAndValid) {
    struct tns__ProbeType stProbe = NvtProbe();
    ASSERT_EQ(SoapAttachRequestHeader(Soap(), kMessageId, SOAP_WIRE_DISCOVERY_URN,
                                      SOAP_WIRE_PROBE_ACTION),
              0);
    ASSERT_EQ(SoapRenderProbe(Soap(), &stProbe, &m_datagram), 0);
    const std::string strProbe = Datagram();
    EXPECT_EQ(strProbe,
              Envelope(Replace(kRequestHeader, "</SOAP-ENV:Header>",
                               "<wsa:Action SOAP-ENV:mustUnderstand=\"true\">"
                               "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe"
                               "</wsa:Action></SOAP-ENV:Header>"),
                       "<tns:Probe><tns:Types>dn:NetworkVideoTransmitter</tns:Types></tns:Probe>"));
    ExpectValidXml(strProbe);
}

TEST_F(SoapRenderTest, ProbeWithoutBodyRecordHasEmptyBody) {
    AttachHeader();
    ASSERT_EQ(SoapRenderProbe(Soap(), nullptr, &m_datagram), 0);
    const std::string strProbe = Datagram();
    EXPECT_EQ(strProbe, Envelope(kRequestHeader, ""));
    ExpectValidXml(strProbe);
}

TEST_F(SoapRenderTest, ProbeScopesCarryAnUnqualifiedMatchBy) {
    struct tns__ScopesType stScopes {};
    stScopes.__item = const_cast<char*>("onvif://www.onvif.org/type/video_encoder");
    stScopes.MatchBy = const_cast<char*>("http://schemas.xmlsoap.org/ws/2005/04/discovery/rfc3986");
    struct tns__ProbeType stProbe = NvtProbe();
    stProbe.tns__Scopes = &stScopes;
    AttachHeader();
    ASSERT_EQ(SoapRenderProbe(Soap(), &stProbe, &m_datagram), 0);
    const std::string strProbe = Datagram();
    EXPECT_EQ(
        strProbe,
        Envelope(kRequestHeader,
                 "<tns:Probe><tns:Types>dn:NetworkVideoTransmitter</tns:Types>"
                 "<tns:Scopes MatchBy=\"http://schemas.xmlsoap.org/ws/2005/04/discovery/"
                 "rfc3986\">onvif://www.onvif.org/type/video_encoder</tns:Scopes></tns:Probe>"));
    ExpectValidXml(strProbe);
}

TEST_F(SoapRenderTest, HeaderBlocksFollowTheRecord) {
    struct tns__ProbeType stProbe = NvtProbe();
    // No header record attached: no header element.
    ASSERT_EQ(SoapRenderProbe(Soap(), &stProbe, &m_datagram), 0);
    const std::string strBody =
        "<tns:Probe><tns:Types>dn:NetworkVideoTransmitter</tns:Types></tns:Probe>";
    EXPECT_EQ(Datagram(), Envelope("", strBody));
    EndMessage(Soap());

    // A record with no member: an empty header element.
    ASSERT_EQ(SoapAttachRequestHeader(Soap(), nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(SoapRenderProbe(Soap(), &stProbe, &m_datagram), 0);
    EXPECT_EQ(Datagram(), Envelope("<SOAP-ENV:Header></SOAP-ENV:Header>", strBody));
    EndMessage(Soap());

    // Only the message id: no must-understand attribute anywhere.
    ASSERT_EQ(SoapAttachRequestHeader(Soap(), kMessageId, nullptr, nullptr), 0);
    ASSERT_EQ(SoapRenderProbe(Soap(), &stProbe, &m_datagram), 0);
    EXPECT_EQ(Datagram(), Envelope(std::string("<SOAP-ENV:Header><wsa:MessageID>") + kMessageId +
                                       "</wsa:MessageID></SOAP-ENV:Header>",
                                   strBody));
}

TEST_F(SoapRenderTest, SetDeviceAddrReqWritesGatewayOnlyWhenPresent) {
    struct tns__OpUserInfo stUser {};
    stUser.tns__UserName = const_cast<char*>("admin");
    stUser.tns__AuthCode = const_cast<char*>("c1f2");
    stUser.tns__UserId = const_cast<char*>("2f0c9a4e-8d1b-4c3a-b6e5-7a9d0e1f2b3c");
    stUser.tns__MsgSeq = 41;
    struct tns__DeviceInfo stDevice {};
    stDevice.tns__DeviceSerialNo = const_cast<char*>("SN12345");
    stDevice.tns__DeviceId = const_cast<char*>("00:11:22:33:44:55");
    struct tns__DeviceAddrInfo stAddr {};
    stAddr.tns__DeviceIpaddr = const_cast<char*>("192.168.1.20");
    stAddr.tns__DeviceIpMask = const_cast<char*>("255.255.255.0");
    struct tns__SetDeviceAddrReqType stReq {};
    stReq.tns__OpUserInfo = &stUser;
    stReq.tns__DeviceInfo = &stDevice;
    stReq.tns__DeviceAddrInfo = &stAddr;

    const std::string strStart =
        "<tns:SetDeviceAddrReq><tns:OpUserInfo><tns:UserName>admin</tns:UserName>"
        "<tns:AuthCode>c1f2</tns:AuthCode><tns:UserId>2f0c9a4e-8d1b-4c3a-b6e5-7a9d0e1f2b3c"
        "</tns:UserId><tns:MsgSeq>41</tns:MsgSeq></tns:OpUserInfo><tns:DeviceInfo>"
        "<tns:DeviceSerialNo>SN12345</tns:DeviceSerialNo><tns:DeviceId>00:11:22:33:44:55"
        "</tns:DeviceId></tns:DeviceInfo><tns:DeviceAddrInfo><tns:DeviceIpaddr>192.168.1.20"
        "</tns:DeviceIpaddr><tns:DeviceIpMask>255.255.255.0</tns:DeviceIpMask>";
    const std::string strEnd = "</tns:DeviceAddrInfo></tns:SetDeviceAddrReq>";

    AttachHeader();
    ASSERT_EQ(SoapRenderSetDeviceAddrReq(Soap(), &stReq, &m_datagram), 0);
    const std::string strAbsent = Datagram();
    EXPECT_EQ(strAbsent, Envelope(kRequestHeader, strStart + strEnd));
    ExpectValidXml(strAbsent);
    EndMessage(Soap());

    stAddr.tns__DefaultGW = const_cast<char*>("");
    AttachHeader();
    ASSERT_EQ(SoapRenderSetDeviceAddrReq(Soap(), &stReq, &m_datagram), 0);
    EXPECT_EQ(Datagram(), Envelope(kRequestHeader, strStart + "<tns:DefaultGW/>" + strEnd));
    EndMessage(Soap());

    stAddr.tns__DefaultGW = const_cast<char*>("192.168.1.1");
    AttachHeader();
    ASSERT_EQ(SoapRenderSetDeviceAddrReq(Soap(), &stReq, &m_datagram), 0);
    EXPECT_EQ(
        Datagram(),
        Envelope(kRequestHeader, strStart + "<tns:DefaultGW>192.168.1.1</tns:DefaultGW>" + strEnd));
}

TEST_F(SoapRenderTest, SetDefaultPasswdReqWritesSequenceZeroAndRawUtf8) {
    struct tns__OpUserInfo stUser {};
    stUser.tns__UserName = const_cast<char*>("op\xC3\xA9<&>");  // é and markup characters
    stUser.tns__AuthCode = const_cast<char*>("");
    stUser.tns__MsgSeq = 0;
    struct tns__DeviceInfo stDevice {};
    stDevice.tns__DeviceId = const_cast<char*>("00:11:22:33:44:55");
    struct tns__SetDefaultPasswdReqType stReq {};
    stReq.tns__OpUserInfo = &stUser;
    stReq.tns__DeviceInfo = &stDevice;
    stReq.tns__PasswordAuthCode = const_cast<char*>("8F3A-11C2");

    AttachHeader();
    ASSERT_EQ(SoapRenderSetDefaultPasswdReq(Soap(), &stReq, &m_datagram), 0);
    const std::string strReq = Datagram();
    EXPECT_EQ(strReq,
              Envelope(kRequestHeader,
                       "<tns:SetDefaultPasswdReq><tns:OpUserInfo>"
                       "<tns:UserName>op\xC3\xA9&lt;&amp;&gt;</tns:UserName>"
                       "<tns:AuthCode/><tns:MsgSeq>0</tns:MsgSeq></tns:OpUserInfo>"
                       "<tns:DeviceInfo><tns:DeviceId>00:11:22:33:44:55</tns:DeviceId>"
                       "</tns:DeviceInfo><tns:PasswordAuthCode>8F3A-11C2</tns:PasswordAuthCode>"
                       "</tns:SetDefaultPasswdReq>"));
    ExpectValidXml(strReq);
}

// A request may carry a password or serial code. Once rendered, it is in the datagram only: not
// in the context, whose send buffer gathers a UDP message.
TEST_F(SoapRenderTest, SecretsOfARequestStayOnlyInTheDatagram) {
    const std::string kAuthCode = "+I]b?D&0lN!gSX:5";
    const std::string kSerialCode = "SERIAL-CODE-7c41e9";
    struct tns__OpUserInfo stUser {};
    stUser.tns__AuthCode = const_cast<char*>(kAuthCode.c_str());
    struct tns__SetDefaultPasswdReqType stReq {};
    stReq.tns__OpUserInfo = &stUser;
    stReq.tns__PasswordAuthCode = const_cast<char*>(kSerialCode.c_str());

    AttachHeader();
    ASSERT_EQ(SoapRenderSetDefaultPasswdReq(Soap(), &stReq, &m_datagram), 0);
    const std::string_view context(reinterpret_cast<const char*>(Soap()), sizeof(struct soap));
    for (const std::string& secret : {Replace(kAuthCode, "&", "&amp;"), kSerialCode}) {
        EXPECT_NE(Datagram().find(secret), std::string::npos) << secret;
        EXPECT_EQ(context.find(secret), std::string_view::npos) << secret;
    }
}

TEST_F(SoapRenderTest, SetDefaultCfgReqCarriesItsTwoBlocks) {
    struct tns__OpUserInfo stUser {};
    stUser.tns__MsgSeq = 4294967295u;
    struct tns__SetDefaultCfgReqType stReq {};
    stReq.tns__OpUserInfo = &stUser;

    AttachHeader();
    ASSERT_EQ(SoapRenderSetDefaultCfgReq(Soap(), &stReq, &m_datagram), 0);
    const std::string strReq = Datagram();
    ExpectValidXml(strReq);
    EXPECT_EQ(strReq, Envelope(kRequestHeader,
                               "<tns:SetDefaultCfgReq><tns:OpUserInfo><tns:MsgSeq>4294967295"
                               "</tns:MsgSeq></tns:OpUserInfo></tns:SetDefaultCfgReq>"));
}

TEST_F(SoapRenderTest, EnvelopeLargerThanOneDatagramIsRefused) {
    struct tns__ProbeType stProbe {};
    stProbe.tns__Types = const_cast<char*>("a");
    AttachHeader();
    ASSERT_EQ(SoapRenderProbe(Soap(), &stProbe, &m_datagram), 0);
    const size_t nFixed = m_datagram.Size() - 1;  // everything but the Types text
    EndMessage(Soap());

    // Exactly 65,536 bytes fit one datagram.
    std::string strTypes(SOAP_WIRE_MAX_DATAGRAM - nFixed, 'a');
    stProbe.tns__Types = &strTypes[0];
    AttachHeader();
    EXPECT_EQ(SoapRenderProbe(Soap(), &stProbe, &m_datagram), 0);
    EXPECT_EQ(m_datagram.Size(), SOAP_WIRE_MAX_DATAGRAM);
    EndMessage(Soap());

    strTypes.push_back('a');
    stProbe.tns__Types = &strTypes[0];
    AttachHeader();
    EXPECT_EQ(SoapRenderProbe(Soap(), &stProbe, &m_datagram), ERR_NO_MEMORY);
    EXPECT_EQ(Datagram(), "");
    EndMessage(Soap());

    // The context stays usable.
    struct tns__ProbeType stSmall = NvtProbe();
    AttachHeader();
    ASSERT_EQ(SoapRenderProbe(Soap(), &stSmall, &m_datagram), 0);
    EXPECT_EQ(Datagram(),
              Envelope(kRequestHeader,
                       "<tns:Probe><tns:Types>dn:NetworkVideoTransmitter</tns:Types></tns:Probe>"));
}

// The client renders both probes of a search with one attached header.
TEST_F(SoapRenderTest, OneHeaderServesSeveralRequests) {
    struct tns__ProbeType stProbe = NvtProbe();
    AttachHeader();
    CSecretText probe;
    CSecretText korvane;
    ASSERT_EQ(SoapRenderProbe(Soap(), &stProbe, &probe), 0);
    ASSERT_EQ(SoapRenderKorvaneProbe(Soap(), &stProbe, &korvane), 0);
    const std::string strKorvane(korvane.View());
    EXPECT_EQ(strKorvane, Replace(std::string(probe.View()), "tns:Probe>", "tns:KorvaneProbe>"));
    EXPECT_NE(strKorvane.find(kRequestHeader), std::string::npos) << strKorvane;
    // How the client knows its own requests when it hears them.
    EXPECT_NE(strKorvane.find(SOAP_WIRE_MESSAGE_ID_START + std::string(kMessageId)),
              std::string::npos);
}

}  // namespace
