// How received datagrams are parsed and dispatched, and that nothing is ever sent in reply.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "common/common_error.h"
#include "soap_test_util.h"

namespace {

std::string Text(const char* psz) {
    return psz != nullptr ? std::string(psz) : std::string("-");
}

// Records every answer handed over, as one line per call.
class CRecorder : public ISoapAnswerHandler {
public:
    int OnProbeMatches(struct soap* pSoap, struct tns__ProbeMatchesType* pst) override {
        return Matches("ProbeMatches", pSoap, pst);
    }
    int OnKorvaneProbeMatches(struct soap* pSoap, struct tns__ProbeMatchesType* pst) override {
        return Matches("KorvaneProbeMatches", pSoap, pst);
    }
    int OnSetDeviceAddrRsp(struct soap* pSoap, struct tns__SetDeviceAddrRspType* pst) override {
        return Response("SetDeviceAddrRsp", pSoap, pst->tns__OpUserInfo, pst->tns__DeviceInfo,
                        pst->tns__result);
    }
    int OnSetDefaultCfgRsp(struct soap* pSoap, struct tns__SetDefaultCfgRspType* pst) override {
        return Response("SetDefaultCfgRsp", pSoap, pst->tns__OpUserInfo, pst->tns__DeviceInfo,
                        pst->tns__result);
    }
    int OnSetDefaultPasswdRsp(struct soap* pSoap,
                              struct tns__SetDefaultPasswdRspType* pst) override {
        return Response("SetDefaultPasswdRsp", pSoap, pst->tns__OpUserInfo, pst->tns__DeviceInfo,
                        pst->tns__result);
    }

    std::vector<std::string> m_vecCalls;
    int m_nReturn = 0;

private:
    static std::string Header(struct soap* pSoap) {
        const struct SOAP_ENV__Header* pstHeader = pSoap->header;
        if (pstHeader == nullptr) {
            return " hdr:none";
        }
        return " rel:" +
               Text(pstHeader->wsa__RelatesTo ? pstHeader->wsa__RelatesTo->__item : nullptr) +
               " rel5:" +
               Text(pstHeader->wsa5__RelatesTo ? pstHeader->wsa5__RelatesTo->__item : nullptr) +
               " id:" + Text(pstHeader->wsa__MessageID);
    }

    int Matches(const char* pszName, struct soap* pSoap, struct tns__ProbeMatchesType* pst) {
        std::string strCall = std::string(pszName) + " n=" + std::to_string(pst->__sizeProbeMatch);
        for (int i = 0; i < pst->__sizeProbeMatch; ++i) {
            const struct tns__ProbeMatchType& stMatch = pst->tns__ProbeMatch[i];
            strCall += " {" + Text(stMatch.wsa__EndpointReference.Address) + " " +
                       Text(stMatch.tns__Types) + " " + Text(stMatch.tns__XAddrs) + " " +
                       (stMatch.tns__Scopes ? Text(stMatch.tns__Scopes->__item) + "|" +
                                                  Text(stMatch.tns__Scopes->MatchBy)
                                            : std::string("-")) +
                       " v" + std::to_string(stMatch.tns__MetadataVersion) + "}";
        }
        m_vecCalls.push_back(strCall + Header(pSoap));
        return m_nReturn;
    }

    int Response(const char* pszName, struct soap* pSoap, const struct tns__OpUserInfo* pstUser,
                 const struct tns__DeviceInfo* pstDevice, int nResult) {
        m_vecCalls.push_back(
            std::string(pszName) +
            " seq=" + (pstUser ? std::to_string(pstUser->tns__MsgSeq) : std::string("-")) +
            " user=" + (pstUser ? Text(pstUser->tns__UserId) : std::string("-")) +
            " dev=" + (pstDevice ? Text(pstDevice->tns__DeviceId) : std::string("-")) +
            " result=" + std::to_string(nResult) + Header(pSoap));
        return m_nReturn;
    }
};

// Envelopes as devices write them, with prefixes of their own choosing.
const char kOpen[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
    " xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
    " xmlns:a5=\"http://www.w3.org/2005/08/addressing\""
    " xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\">";

std::string Env(const std::string& strHeader, const std::string& strBody) {
    return std::string(kOpen) +
           (strHeader.empty() ? "" : "<s:Header>" + strHeader + "</s:Header>") + "<s:Body>" +
           strBody + "</s:Body></s:Envelope>";
}

const char kRelates[] = "<a:RelatesTo>urn:uuid:req-1</a:RelatesTo>";

std::string Match(const std::string& strAddr, const std::string& strVersion) {
    return "<d:ProbeMatch><a:EndpointReference><a:Address>" + strAddr +
           "</a:Address></a:EndpointReference><d:Types>dn:NetworkVideoTransmitter</d:Types>"
           "<d:XAddrs>http://10.0.0.5/onvif/device_service</d:XAddrs>"
           "<d:MetadataVersion>" +
           strVersion + "</d:MetadataVersion></d:ProbeMatch>";
}

// n attributes with distinct names: a0="" a1="" ...
std::string Attributes(int n) {
    std::string strText;
    for (int i = 0; i < n; ++i) {
        strText += (i == 0 ? "a" : " a") + std::to_string(i) + "=\"\"";
    }
    return strText;
}

std::string Matches(const std::string& strMatches) {
    return "<d:ProbeMatches>" + strMatches + "</d:ProbeMatches>";
}

const char kMatchLine[] = "dn:NetworkVideoTransmitter http://10.0.0.5/onvif/device_service -";

std::string Rsp(const std::string& strName, const std::string& strMembers) {
    return "<d:" + strName + ">" + strMembers + "</d:" + strName + ">";
}

const char kOpUser[] =
    "<d:OpUserInfo><d:UserName>admin</d:UserName><d:AuthCode>x</d:AuthCode>"
    "<d:UserId>client-1</d:UserId><d:MsgSeq>7</d:MsgSeq></d:OpUserInfo>";
const char kDevice[] =
    "<d:DeviceInfo><d:DeviceSerialNo>SN1</d:DeviceSerialNo>"
    "<d:DeviceId>00:11:22:33:44:55</d:DeviceId></d:DeviceInfo>";

// A message that is refused, unknown or malformed is dropped; bytes that are no message at all
// (not XML, no transport header either) report an input failure.
const int kDropped = ERR_GENERAL;
const int kNoMessage = ERR_IO;

struct ServeCase {
    const char* pszName;
    std::string strDatagram;
    int nExpected;        // serve result
    std::string strCall;  // recorded handler call, empty when no handler may run
};

void PrintTo(const ServeCase& stCase, std::ostream* pOut) {
    *pOut << stCase.pszName;
}

std::vector<ServeCase> Cases() {
    const std::string strHdr = kRelates;
    const std::string strRel = " rel:urn:uuid:req-1 rel5:- id:-";
    return {
        {"NoMatch", Env(strHdr, Matches("")), 0, "ProbeMatches n=0" + strRel},
        {"ThreeMatchesInOrder",
         Env(strHdr, Matches(Match("urn:a", "1") + Match("urn:b", "2") + Match("urn:c", "3"))), 0,
         std::string("ProbeMatches n=3 {urn:a ") + kMatchLine + " v1} {urn:b " + kMatchLine +
             " v2} {urn:c " + kMatchLine + " v3}" + strRel},
        {"KorvaneMatchesWithOwnPrefixes",
         "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\""
         " xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
         " xmlns:tns=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><SOAP-ENV:Body>"
         "<tns:KorvaneProbeMatches><tns:ProbeMatch><wsa:EndpointReference><wsa:Address>urn:k"
         "</wsa:Address></wsa:EndpointReference><tns:Scopes MatchBy=\"urn:rule\">onvif://x"
         "</tns:Scopes><tns:MetadataVersion>9</tns:MetadataVersion></tns:ProbeMatch>"
         "</tns:KorvaneProbeMatches></SOAP-ENV:Body></SOAP-ENV:Envelope>",
         0, "KorvaneProbeMatches n=1 {urn:k - - onvif://x|urn:rule v9} hdr:none"},
        {"DefaultNamespaceBody",
         Env("",
             "<ProbeMatches xmlns=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\">"
             "<ProbeMatch><MetadataVersion>4</MetadataVersion></ProbeMatch></ProbeMatches>"),
         0, "ProbeMatches n=1 {- - - - v4} hdr:none"},
        {"OtherYearOfSchemaInstance",
         Env("", Matches("<d:ProbeMatch xmlns:i=\"http://www.w3.org/1999/XMLSchema-instance\">"
                         "<d:XAddrs i:nil=\"true\"/><d:MetadataVersion>1</d:MetadataVersion>"
                         "</d:ProbeMatch>")),
         0, "ProbeMatches n=1 {- - - - v1} hdr:none"},
        {"FirstOccurrenceWins",
         Env("<a:RelatesTo>urn:first</a:RelatesTo><a:MessageID>urn:m1</a:MessageID>"
             "<a:RelatesTo>urn:second</a:RelatesTo><a:MessageID>urn:m2</a:MessageID>",
             Matches("<d:ProbeMatch><d:XAddrs>x1</d:XAddrs><d:XAddrs>x2</d:XAddrs>"
                     "<d:MetadataVersion>5</d:MetadataVersion><d:MetadataVersion>6"
                     "</d:MetadataVersion></d:ProbeMatch>")),
         0, "ProbeMatches n=1 {- - x1 - v5} rel:urn:first rel5:- id:urn:m1"},
        {"MissingMetadataVersionIsZero",
         Env(strHdr, Matches("<d:ProbeMatch><d:XAddrs>x</d:XAddrs></d:ProbeMatch>")), 0,
         "ProbeMatches n=1 {- - x - v0}" + strRel},
        {"NonNumericMetadataVersionFails", Env(strHdr, Matches(Match("urn:a", "abc"))), kDropped,
         ""},
        {"TrailingLetterMetadataVersionFails", Env(strHdr, Matches(Match("urn:a", "12a"))),
         kDropped, ""},
        {"NegativeMetadataVersionFails", Env(strHdr, Matches(Match("urn:a", "-1"))), kDropped, ""},
        {"MetadataVersionAbove32BitsFails", Env(strHdr, Matches(Match("urn:a", "4294967296"))),
         kDropped, ""},
        {"LargestMetadataVersion", Env(strHdr, Matches(Match("urn:a", "4294967295"))), 0,
         std::string("ProbeMatches n=1 {urn:a ") + kMatchLine + " v4294967295}" + strRel},
        {"BothRelatesToVersions",
         Env("<a:MessageID>urn:m</a:MessageID><a5:RelatesTo>urn:five</a5:RelatesTo>" + strHdr,
             Matches("")),
         0, "ProbeMatches n=0 rel:urn:uuid:req-1 rel5:urn:five id:urn:m"},
        {"OnlyRelatesTo10", Env("<a5:RelatesTo>urn:five</a5:RelatesTo>", Matches("")), 0,
         "ProbeMatches n=0 rel:- rel5:urn:five id:-"},
        {"UnknownMustUnderstandHeaderFails",
         Env("<x:Lock xmlns:x=\"urn:x\" s:mustUnderstand=\"true\">1</x:Lock>" + strHdr,
             Matches("")),
         kDropped, ""},
        {"UnknownMustUnderstandOneFails",
         Env("<x:Lock xmlns:x=\"urn:x\" s:mustUnderstand=\"1\">1</x:Lock>", Matches("")), kDropped,
         ""},
        {"MustUnderstandForAnotherRoleSkipped",
         Env("<x:Lock xmlns:x=\"urn:x\" s:mustUnderstand=\"true\" s:role=\"urn:other\">1</x:Lock>",
             Matches("")),
         0, "ProbeMatches n=0 rel:- rel5:- id:-"},
        {"UnknownHeaderWithoutFlagSkipped",
         Env("<x:Note xmlns:x=\"urn:x\"><x:Deep>1</x:Deep></x:Note>" + strHdr, Matches("")), 0,
         "ProbeMatches n=0" + strRel},
        {"AppSequenceWithoutFlagSkipped",
         Env("<d:AppSequence InstanceId=\"1\" MessageNumber=\"2\"/>" + strHdr, Matches("")), 0,
         "ProbeMatches n=0" + strRel},
        {"AppSequenceFlaggedFails",
         Env("<d:AppSequence s:mustUnderstand=\"true\" InstanceId=\"1\" MessageNumber=\"2\"/>",
             Matches("")),
         kDropped, ""},
        {"FlaggedActionAndToAccepted",
         Env("<a:Action s:mustUnderstand=\"true\">http://schemas.xmlsoap.org/ws/2005/04/discovery"
             "/ProbeMatches</a:Action><a:To s:mustUnderstand=\"true\">http://schemas.xmlsoap.org"
             "/ws/2004/08/addressing/role/anonymous</a:To>" +
                 strHdr,
             Matches("")),
         0, "ProbeMatches n=0" + strRel},
        {"UnbalancedKnownHeaderFails",
         Env("<a:ReplyTo><a:Address>x</a:Address>" + strHdr, Matches("")), kDropped, ""},
        {"HelloRefused",
         Env("",
             "<d:Hello><a:EndpointReference><a:Address>urn:h</a:Address>"
             "</a:EndpointReference><d:MetadataVersion>1</d:MetadataVersion></d:Hello>"),
         kDropped, ""},
        {"ByeRefused",
         Env("",
             "<d:Bye><a:EndpointReference><a:Address>urn:h</a:Address>"
             "</a:EndpointReference></d:Bye>"),
         kDropped, ""},
        {"ResolveRefused",
         Env("",
             "<d:Resolve><a:EndpointReference><a:Address>urn:h"
             "</a:Address></a:EndpointReference></d:Resolve>"),
         kDropped, ""},
        {"ResolveMatchesRefused", Env("", "<d:ResolveMatches><d:ResolveMatch/></d:ResolveMatches>"),
         kDropped, ""},
        {"OwnProbeIgnored",
         Env("<a:MessageID>urn:uuid:req-1</a:MessageID><a:To s:mustUnderstand=\"true\">"
             "urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To>",
             "<d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Probe>"),
         0, ""},
        {"OwnKorvaneProbeIgnored",
         Env("", "<d:KorvaneProbe><d:Types>dn:NetworkVideoTransmitter</d:Types></d:KorvaneProbe>"),
         0, ""},
        {"ProbeWithUnexpectedChildIgnored",
         Env("", "<d:Probe><d:Types>t</d:Types><d:Extra><x/></d:Extra></d:Probe>"), 0, ""},
        {"ConfigurationRequestsIgnored", Env("", Rsp("SetDeviceAddrReq", kOpUser) + ""), 0, ""},
        {"SetDefaultCfgReqIgnored", Env("", Rsp("SetDefaultCfgReq", kDevice)), 0, ""},
        {"SetDefaultPasswdReqIgnored",
         Env("", Rsp("SetDefaultPasswdReq", "<d:PasswordAuthCode>1</d:PasswordAuthCode>")), 0, ""},
        {"FaultRefused",
         Env("",
             "<s:Fault><s:Code><s:Value>s:Sender</s:Value></s:Code><s:Reason>"
             "<s:Text xml:lang=\"en\">no</s:Text></s:Reason></s:Fault>"),
         kDropped, ""},
        {"UnknownBodyRefused", Env("", "<d:Unknown/>"), kDropped, ""},
        {"UnknownNamespaceBodyRefused",
         Env("", "<x:ProbeMatches xmlns:x=\"urn:x\"></x:ProbeMatches>"), kDropped, ""},
        {"EmptyBodyRefused", Env("", ""), kDropped, ""},
        {"RootNotEnvelopeRefused",
         "<d:ProbeMatches xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"/>", kDropped,
         ""},
        {"Soap11EnvelopeRefused",
         "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body>"
         "<d:ProbeMatches xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"/>"
         "</e:Body></e:Envelope>",
         kDropped, ""},
        {"TruncatedEnvelopeFails", Env(strHdr, Matches(Match("urn:a", "1"))).substr(0, 400),
         kDropped, ""},
        {"SetDeviceAddrRspInSchemaOrder",
         Env(strHdr,
             Rsp("SetDeviceAddrRsp", std::string(kOpUser) + kDevice + "<d:result>256</d:result>")),
         0, "SetDeviceAddrRsp seq=7 user=client-1 dev=00:11:22:33:44:55 result=256" + strRel},
        {"SetDeviceAddrRspInReverseOrder",
         Env(strHdr,
             Rsp("SetDeviceAddrRsp", std::string("<d:result>256</d:result>") + kDevice + kOpUser)),
         0, "SetDeviceAddrRsp seq=7 user=client-1 dev=00:11:22:33:44:55 result=256" + strRel},
        {"SetDefaultCfgRspWithoutResult",
         Env(strHdr, Rsp("SetDefaultCfgRsp", std::string(kOpUser) + kDevice)), 0,
         "SetDefaultCfgRsp seq=7 user=client-1 dev=00:11:22:33:44:55 result=0" + strRel},
        {"SetDefaultPasswdRspResult257",
         Env(strHdr, Rsp("SetDefaultPasswdRsp",
                         std::string(kDevice) + "<d:result>257</d:result>" + kOpUser)),
         0, "SetDefaultPasswdRsp seq=7 user=client-1 dev=00:11:22:33:44:55 result=257" + strRel},
        {"ResponseWithoutBlocks", Env("", Rsp("SetDeviceAddrRsp", "<d:result>-5</d:result>")), 0,
         "SetDeviceAddrRsp seq=- user=- dev=- result=-5 hdr:none"},
        {"NonNumericResultFails",
         Env(strHdr, Rsp("SetDeviceAddrRsp", std::string(kOpUser) + "<d:result>ok</d:result>")),
         kDropped, ""},
        {"NonNumericMsgSeqFails",
         Env(strHdr, Rsp("SetDeviceAddrRsp",
                         "<d:OpUserInfo><d:MsgSeq>7x</d:MsgSeq>"
                         "</d:OpUserInfo><d:result>256</d:result>")),
         kDropped, ""},
        {"DoctypeEntitiesNotExpanded",
         "<?xml version=\"1.0\"?><!DOCTYPE s:Envelope [<!ENTITY x \"xxxxxxxxxx\">"
         "<!ENTITY y \"&x;&x;&x;&x;&x;&x;&x;&x;&x;&x;\">]>" +
             Env(strHdr, Matches(Match("&y;", "1"))).substr(38),
         // The declarations are skipped; the reference reads as the toolkit's mark (0x7F).
         0, std::string("ProbeMatches n=1 {\x7F ") + kMatchLine + " v1}" + strRel},
        // Every attribute costs a look-up among all names met so far: beyond 512 '=' signs
        // the datagram is refused unparsed.
        {"FiveHundredAttributesAccepted", Env(strHdr, "<d:ProbeMatches " + Attributes(490) + "/>"),
         0, "ProbeMatches n=0" + strRel},
        {"ThousandsOfAttributesRefused", Env(strHdr, "<d:ProbeMatches " + Attributes(4000) + "/>"),
         kDropped, ""},
        {"AttributesSpreadOverElementsRefused",
         Env(strHdr, Matches(Match("urn:a", "1") + "<x " + Attributes(300) + "/><y " +
                             Attributes(300) + "/>")),
         kDropped, ""},
        {"NotXml", "hello there", kNoMessage, ""},
        {"Binary", std::string("\x00\x01\xff\xfe garbage", 13), kNoMessage, ""},
        {"Empty", "", kNoMessage, ""},
    };
}

class SoapServeTableTest : public ::testing::TestWithParam<ServeCase> {};

TEST_P(SoapServeTableTest, Dispatches) {
    const ServeCase& stCase = GetParam();
    CRecorder recorder;
    CTestContext context;
    SoapSetAnswerHandler(context.Get(), &recorder);

    const int nResult =
        SoapServe(context.Get(), stCase.strDatagram.data(), stCase.strDatagram.size());
    EXPECT_EQ(nResult, stCase.nExpected) << stCase.strDatagram;
    if (stCase.strCall.empty()) {
        EXPECT_TRUE(recorder.m_vecCalls.empty()) << recorder.m_vecCalls.front();
    } else {
        ASSERT_EQ(recorder.m_vecCalls.size(), 1u);
        EXPECT_EQ(recorder.m_vecCalls[0], stCase.strCall);
    }
}

INSTANTIATE_TEST_SUITE_P(Datagrams, SoapServeTableTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<ServeCase>& caseInfo) {
                             return std::string(caseInfo.param.pszName);
                         });

// The receive context serves datagram after datagram.
class SoapServeTest : public ::testing::Test {
protected:
    void SetUp() override { SoapSetAnswerHandler(m_context.Get(), &m_recorder); }

    int Serve(const std::string& strDatagram) {
        const int nResult = SoapServe(m_context.Get(), strDatagram.data(), strDatagram.size());
        EndMessage(m_context.Get());
        return nResult;
    }

    CTestContext m_context;
    CRecorder m_recorder;
};

TEST_F(SoapServeTest, HandlerFailureDropsTheMessage) {
    m_recorder.m_nReturn = 3;
    const std::string strMatches = Env("", Matches(""));
    EXPECT_EQ(Serve(strMatches), kDropped);
    EXPECT_EQ(m_recorder.m_vecCalls.size(), 1u);

    // Without a handler installed the answer is dropped the same way.
    SoapSetAnswerHandler(m_context.Get(), nullptr);
    EXPECT_EQ(Serve(strMatches), kDropped);
}

// Each datagram stands alone: a failure leaves the context usable, and a message without a
// header does not show the previous message's header.
TEST_F(SoapServeTest, ConsecutiveDatagramsAreIndependent) {
    EXPECT_EQ(Serve("not xml at all"), kNoMessage);
    EXPECT_EQ(Serve(Env(kRelates, "<d:ProbeMatches " + Attributes(4000) + "/>")), kDropped);
    EXPECT_EQ(Serve(Env(kRelates, Matches(Match("urn:a", "1")))), 0);
    EXPECT_EQ(Serve(Env("", Matches(Match("urn:b", "2")))), 0);
    ASSERT_EQ(m_recorder.m_vecCalls.size(), 2u);
    EXPECT_NE(m_recorder.m_vecCalls[0].find("{urn:a"), std::string::npos);
    EXPECT_NE(m_recorder.m_vecCalls[0].find("rel:urn:uuid:req-1"), std::string::npos);
    EXPECT_NE(m_recorder.m_vecCalls[1].find("{urn:b"), std::string::npos);
    EXPECT_NE(m_recorder.m_vecCalls[1].find("hdr:none"), std::string::npos);
}

// What the toolkit handed to the context's output function.
std::vector<std::string> g_vecOutput;

int RecordOutput(struct soap*, const char* pData, size_t nSize) {
    g_vecOutput.emplace_back(pData, nSize);
    return SOAP_OK;
}

// Nothing is ever sent in reply, whatever arrives: the context's output function (which
// would send on a socket the context had) is never called while serving, and is back after.
TEST(SoapServeNoReplyTest, NothingIsSentBackForBadDatagrams) {
    const std::vector<std::string> vecDatagrams = {
        std::string("\x00\x01\x02\xff garbage \x80\x81", 16),
        "not xml at all",
        "GET / HTTP/1.1\r\nHost: x\r\n\r\n",
        "HEAD / HTTP/1.1\r\nHost: x\r\n\r\n",
        "POST / HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\nContent-Length: 5\r\n\r\nhello",
        "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body><unclosed>",
        Env("<x:Lock xmlns:x=\"urn:x\" s:mustUnderstand=\"true\">1</x:Lock>", Matches("")),
        Env("", "<d:Hello/>"),
        Env("", "<d:Unknown/>"),
        Env("", "<s:Fault><s:Code><s:Value>s:Sender</s:Value></s:Code></s:Fault>"),
    };
    CRecorder recorder;
    CTestContext context;
    struct soap* pSoap = context.Get();
    SoapSetAnswerHandler(pSoap, &recorder);
    pSoap->fsend = RecordOutput;
    for (const std::string& strDatagram : vecDatagrams) {
        g_vecOutput.clear();
        SoapServe(pSoap, strDatagram.data(), strDatagram.size());
        EndMessage(pSoap);
        EXPECT_TRUE(g_vecOutput.empty()) << strDatagram << " got " << g_vecOutput.front();
        EXPECT_EQ(pSoap->fsend, &RecordOutput);
    }
    EXPECT_TRUE(recorder.m_vecCalls.empty());
}

}  // namespace
