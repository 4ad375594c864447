// Answer handling: crafted envelopes through the client's answer path into a client that has
// no thread and no socket (nothing goes on a network here).

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "mc_answer.h"
#include "mc_discovery.h"
#include "mc_request.h"

namespace {

class CCollector : public IObserver<CDiscoveryBean> {
public:
    void Update(const CDiscoveryBean* pData) override { records.push_back(*pData); }
    std::vector<CDiscoveryBean> records;
};

const char kHead[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\" "
    "xmlns:w=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
    "xmlns:w5=\"http://www.w3.org/2005/08/addressing\" "
    "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\">";

std::string Scope(const std::string& path, const std::string& value) {
    return "onvif://www.onvif.org/" + path + "/" + value;
}

// One probe match; a null XAddrs or scopes text leaves that element out.
std::string Match(const char* pXAddrs, const char* pScopes) {
    std::string text =
        "<d:ProbeMatch><w:EndpointReference><w:Address>urn:uuid:1</w:Address>"
        "</w:EndpointReference><d:Types>dn:NetworkVideoTransmitter</d:Types>";
    if (pScopes != nullptr) {
        text += std::string("<d:Scopes>") + pScopes + "</d:Scopes>";
    }
    if (pXAddrs != nullptr) {
        text += std::string("<d:XAddrs>") + pXAddrs + "</d:XAddrs>";
    }
    return text + "<d:MetadataVersion>1</d:MetadataVersion></d:ProbeMatch>";
}

class AnswerHandling : public ::testing::Test {
protected:
    AnswerHandling() : m_answerPath(MessageId(m_client.GetUuid())) {
        m_client.Attach(&m_collector);
    }
    ~AnswerHandling() override { m_client.Detach(&m_collector); }

    std::string Mine() const { return "urn:uuid:" + m_client.GetUuid(); }

    std::string Header(const std::string& relatesTo, bool wsa5 = false) const {
        return wsa5 ? "<e:Header><w5:RelatesTo>" + relatesTo + "</w5:RelatesTo></e:Header>"
                    : "<e:Header><w:RelatesTo>" + relatesTo + "</w:RelatesTo></e:Header>";
    }

    int Serve(const std::string& header, const std::string& body, uint32_t source = 0) {
        const std::string envelope = kHead + header + "<e:Body>" + body + "</e:Body></e:Envelope>";
        Arrival arrival;
        arrival.sourceAddress = source;
        return ServeEnvelope(envelope, arrival);
    }

    // Serves the datagram and hands on what it gave, as the client's parsing threads do.
    int ServeEnvelope(const std::string& envelope, const Arrival& arrival) {
        AnswerOutcome outcome;
        const int rc = m_answerPath.Serve(envelope.data(), envelope.size(), arrival, &outcome);
        m_client.Deliver(outcome);
        return rc;
    }

    int ServeMatches(const std::string& matches, const char* pElement = "ProbeMatches") {
        return Serve(Header(Mine()),
                     std::string("<d:") + pElement + ">" + matches + "</d:" + pElement + ">");
    }

    CDiscoveryThread m_client;
    CAnswerPath m_answerPath;
    CCollector m_collector;
};

TEST_F(AnswerHandling, XAddrsGivesTheHostOfTheFirstAddress) {
    const struct {
        const char* xaddrs;
        const char* ip;
    } cases[] = {
        {"http://10.0.0.7/onvif/device_service", "10.0.0.7"},
        {"http://10.0.0.7:8080/onvif/device_service", "10.0.0.7"},
        {"http://10.0.0.7/onvif http://192.168.1.9/onvif", "10.0.0.7"},
        {"http://camera.local/onvif", "camera.local"},
        {"http://nightcam/onvif", "nig"},  // a name is cut at its first h, t or p
        {"http://", "0.0.0.0"},
    };
    for (const auto& c : cases) {
        m_collector.records.clear();
        EXPECT_EQ(ServeMatches(Match(c.xaddrs, Scope("serial", "S").c_str())), 0);
        ASSERT_EQ(m_collector.records.size(), 1u) << c.xaddrs;
        EXPECT_EQ(m_collector.records[0].m_ipAddr, c.ip) << c.xaddrs;
    }
}

TEST_F(AnswerHandling, ScopesFillTheRecord) {
    const std::string scopes = Scope("type", "video_encoder") + " " + Scope("hardware", "IPC-1") +
                               " \n\t" + Scope("name", "Korvane_IPC") + " " +
                               Scope("macaddr", "0012abcdef01") + " " + Scope("version", "V1.2") +
                               " " + Scope("serial", "SN-1") + " " + Scope("serial", "SN-2") + " " +
                               Scope("location", "hall");
    EXPECT_EQ(ServeMatches(Match("http://10.0.0.7/x", scopes.c_str()), "KorvaneProbeMatches"), 0);
    ASSERT_EQ(m_collector.records.size(), 1u);
    const CDiscoveryBean& record = m_collector.records[0];
    EXPECT_EQ(record.m_hardware, "IPC-1");
    EXPECT_EQ(record.m_macAddr, "0012abcdef01");
    EXPECT_EQ(record.m_version, "V1.2");
    EXPECT_EQ(record.m_serialNo, "SN-1");  // the first of two serial scopes
    EXPECT_EQ(record.m_foreign, 0);
}

TEST_F(AnswerHandling, NameScopeDecidesTheBrandFlag) {
    const struct {
        std::string scopes;
        int foreign;
        const char* hardware;
    } cases[] = {
        {Scope("name", "Korvane_X"), 0, ""},  // no hardware scope: empty, still delivered
        {Scope("name", "my_Ostrel_cam"), 0, ""},
        {Scope("name", "korvane_x"), 1, ""},  // case-sensitive
        {Scope("name", "Vistacam"), 1, ""},
        {Scope("hardware", "H"), 1, "H"},        // no name scope at all
        {"onvif://www.onvif.org/name/", 1, ""},  // value shorter than nothing
    };
    for (const auto& c : cases) {
        m_collector.records.clear();
        EXPECT_EQ(ServeMatches(Match("http://1.2.3.4/", c.scopes.c_str())), 0);
        ASSERT_EQ(m_collector.records.size(), 1u) << c.scopes;
        EXPECT_EQ(m_collector.records[0].m_foreign, c.foreign) << c.scopes;
        EXPECT_EQ(m_collector.records[0].m_hardware, c.hardware) << c.scopes;
        EXPECT_TRUE(m_collector.records[0].m_macAddr.empty());
    }
}

TEST_F(AnswerHandling, HardwareIsConvertedToTheLocaleCodeSet) {
    const char* pSaved = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = pSaved != nullptr ? pSaved : "C";
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
        GTEST_SKIP() << "no C.UTF-8 locale";
    }
    const std::string scopes = Scope("hardware", "\xD0\x9A\xD0\xB0\xD0\xBC-2M");
    EXPECT_EQ(ServeMatches(Match("http://1.2.3.4/", scopes.c_str())), 0);
    std::setlocale(LC_CTYPE, saved.c_str());
    ASSERT_EQ(m_collector.records.size(), 1u);
    EXPECT_EQ(m_collector.records[0].m_hardware, "\xD0\x9A\xD0\xB0\xD0\xBC-2M");
}

TEST_F(AnswerHandling, IncompleteMatchesAreSkippedOthersDeliveredInOrder) {
    const std::string a = Scope("serial", "A");
    const std::string b = Scope("serial", "B");
    const std::string c = Scope("serial", "C");
    EXPECT_EQ(ServeMatches(Match("http://1.1.1.1/", a.c_str()) + Match(nullptr, b.c_str()) +
                           Match("http://3.3.3.3/", c.c_str()) + Match("http://4.4.4.4/", nullptr) +
                           Match("http://5.5.5.5/", "")),
              0);
    ASSERT_EQ(m_collector.records.size(), 2u);
    EXPECT_EQ(m_collector.records[0].m_serialNo, "A");
    EXPECT_EQ(m_collector.records[1].m_serialNo, "C");
    EXPECT_EQ(m_collector.records[1].m_ipAddr, "3.3.3.3");
}

TEST_F(AnswerHandling, OneDatagramGivesAtMostItsShareOfMatches) {
    std::string matches;
    for (int i = 0; i < kMatchesPerDatagram + 44; ++i) {
        matches += Match("http://10.0.0.7/", Scope("serial", std::to_string(i)).c_str());
    }
    EXPECT_EQ(ServeMatches(matches), 0);
    ASSERT_EQ(m_collector.records.size(), static_cast<size_t>(kMatchesPerDatagram));
    EXPECT_EQ(m_collector.records.back().m_serialNo, std::to_string(kMatchesPerDatagram - 1));
}

TEST_F(AnswerHandling, EachRecordNamesWhereItsAnswerCameIn) {
    Arrival arrival;
    std::snprintf(arrival.interfaceName, sizeof(arrival.interfaceName), "eth1");
    arrival.localAddress = 0xC6130001u;  // 198.19.0.1
    const std::string envelope = std::string(kHead) + Header(Mine()) + "<e:Body><d:ProbeMatches>" +
                                 Match("http://1.2.3.4/", Scope("serial", "S").c_str()) +
                                 Match("http://1.2.3.5/", Scope("serial", "T").c_str()) +
                                 "</d:ProbeMatches></e:Body></e:Envelope>";
    EXPECT_EQ(ServeEnvelope(envelope, arrival), 0);
    ASSERT_EQ(m_collector.records.size(), 2u);
    for (const CDiscoveryBean& record : m_collector.records) {
        EXPECT_EQ(record.m_interface, "eth1");
        EXPECT_EQ(record.m_localAddr, "198.19.0.1");
    }
    // Nothing known: both stay empty.
    m_collector.records.clear();
    EXPECT_EQ(ServeMatches(Match("http://1.2.3.4/", Scope("serial", "S").c_str())), 0);
    ASSERT_EQ(m_collector.records.size(), 1u);
    EXPECT_EQ(m_collector.records[0].m_interface, "");
    EXPECT_EQ(m_collector.records[0].m_localAddr, "");
}

TEST_F(AnswerHandling, OnlyAnswersToThisClientAreAccepted) {
    const std::string match = Match("http://1.1.1.1/", Scope("serial", "A").c_str());
    const std::string body = "<d:ProbeMatches>" + match + "</d:ProbeMatches>";
    const struct {
        std::string header;
        bool accepted;
    } cases[] = {
        {Header(Mine()), true},
        {Header(Mine(), true), true},                             // WS-Addressing 1.0
        {Header("urn:uuid:" + m_client.GetUuid() + "x"), false},  // another client
        {Header("urn:uuid:00000000-0000-0000-0000-000000000000"), false},
        {Header(m_client.GetUuid()), false},  // without the urn:uuid: prefix
        {"", false},                          // no header
        {"<e:Header></e:Header>", false},     // no RelatesTo
        // wsa:RelatesTo decides when both are present.
        {"<e:Header><w:RelatesTo>urn:uuid:other</w:RelatesTo><w5:RelatesTo>" + Mine() +
             "</w5:RelatesTo></e:Header>",
         false},
    };
    for (const auto& c : cases) {
        m_collector.records.clear();
        EXPECT_EQ(Serve(c.header, body) == 0, c.accepted) << c.header;
        EXPECT_EQ(m_collector.records.size(), c.accepted ? 1u : 0u) << c.header;
    }
}

// The header blocks that WS-Discovery and WS-Addressing define for these messages are
// understood, flagged must-understand or not; any other block flagged for this node drops the
// answer.
TEST_F(AnswerHandling, HeaderBlocksOfDiscoveryAndAddressingAreUnderstood) {
    const std::string body = "<d:ProbeMatches>" +
                             Match("http://1.1.1.1/", Scope("serial", "A").c_str()) +
                             "</d:ProbeMatches>";
    const std::string mine = "<w:RelatesTo>" + Mine() + "</w:RelatesTo>";
    const std::string mu = " e:mustUnderstand=\"true\"";
    const std::string wsd11 =
        " xmlns:d11=\"http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01\"";
    const struct {
        const char* name;
        std::string blocks;
        bool accepted;
    } cases[] = {
        {"AppSequence", "<d:AppSequence InstanceId=\"7\" MessageNumber=\"1\"/>" + mine, true},
        {"AppSequence flagged",
         "<d:AppSequence" + mu + " InstanceId=\"7\" SequenceId=\"urn:s\" MessageNumber=\"1\"/>" +
             mine,
         true},
        {"AppSequence flagged 1",
         "<d:AppSequence e:mustUnderstand=\"1\" InstanceId=\"7\" MessageNumber=\"1\"/>" + mine,
         true},
        {"Action flagged",
         "<w:Action" + mu + ">http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches" +
             "</w:Action>" + mine,
         true},
        {"To flagged",
         "<w:To" + mu + ">http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</w:To>" +
             mine,
         true},
        {"ReplyTo flagged", "<w:ReplyTo" + mu + "><w:Address>urn:r</w:Address></w:ReplyTo>" + mine,
         true},
        {"RelatesTo flagged", "<w:RelatesTo" + mu + ">" + Mine() + "</w:RelatesTo>", true},
        {"wsa5 RelatesTo flagged", "<w5:RelatesTo" + mu + ">" + Mine() + "</w5:RelatesTo>", true},
        {"wsa5 Action, To and ReplyTo flagged",
         "<w5:Action" + mu + ">urn:a</w5:Action><w5:To" + mu + ">urn:t</w5:To><w5:ReplyTo" + mu +
             "><w5:Address>urn:r</w5:Address></w5:ReplyTo>" + mine,
         true},
        {"all of them flagged",
         "<w:MessageID>urn:m</w:MessageID><w:Action" + mu + ">urn:a</w:Action><w:To" + mu +
             ">urn:t</w:To><d:AppSequence" + mu + " InstanceId=\"1\" MessageNumber=\"9\"/>" + mine,
         true},
        {"unknown block", "<x:Lock xmlns:x=\"urn:x\">1</x:Lock>" + mine, true},
        {"unknown block flagged false",
         "<x:Lock xmlns:x=\"urn:x\" e:mustUnderstand=\"false\">1</x:Lock>" + mine, true},
        {"unknown block flagged", "<x:Lock xmlns:x=\"urn:x\"" + mu + ">1</x:Lock>" + mine, false},
        {"unknown block of the discovery namespace flagged",
         "<d:Sequence" + mu + " InstanceId=\"1\"/>" + mine, false},
        {"AppSequence of WS-Discovery 1.1 flagged",
         "<d11:AppSequence" + wsd11 + mu + " InstanceId=\"1\" MessageNumber=\"1\"/>" + mine, false},
        {"AppSequence flagged, answer for another client",
         "<d:AppSequence" + mu +
             " InstanceId=\"1\" MessageNumber=\"1\"/>"
             "<w:RelatesTo>urn:uuid:other</w:RelatesTo>",
         false},
    };
    for (const auto& c : cases) {
        m_collector.records.clear();
        EXPECT_EQ(Serve("<e:Header>" + c.blocks + "</e:Header>", body) == 0, c.accepted) << c.name;
        EXPECT_EQ(m_collector.records.size(), c.accepted ? 1u : 0u) << c.name;
    }
}

std::string ConfigRsp(const char* pElement, const std::string& msgSeq, const char* pDeviceId,
                      int result, bool withUser = true) {
    std::string body = std::string("<d:") + pElement + ">";
    if (withUser) {
        body += "<d:OpUserInfo><d:MsgSeq>" + msgSeq + "</d:MsgSeq></d:OpUserInfo>";
    }
    body += "<d:DeviceInfo><d:DeviceSerialNo>S</d:DeviceSerialNo>";
    if (pDeviceId != nullptr) {
        body += std::string("<d:DeviceId>") + pDeviceId + "</d:DeviceId>";
    }
    return body + "</d:DeviceInfo><d:result>" + std::to_string(result) +
           "</d:result></d:" + pElement + ">";
}

TEST_F(AnswerHandling, ConfigurationAnswersCompleteTheirRequest) {
    const char* const elements[] = {"SetDeviceAddrRsp", "SetDefaultPasswdRsp", "SetDefaultCfgRsp"};
    int msgSeq = 10001;
    for (const char* pElement : elements) {
        ASSERT_EQ(m_client.Messages().Register(msgSeq, "0012abcdef01", 0), 0);
        EXPECT_EQ(
            Serve(Header(Mine()), ConfigRsp(pElement, std::to_string(msgSeq), "0012abcdef01", 261)),
            0);
        int result = -1;
        EXPECT_EQ(m_client.Messages().WaitResponse(msgSeq, 0, &result), 0) << pElement;
        EXPECT_EQ(result, 11004);
        ++msgSeq;
    }
}

TEST_F(AnswerHandling, ConfigurationAnswersThatDoNotMatchCompleteNothing) {
    const int msgSeq = 10001;
    const struct {
        std::string header;
        std::string body;
    } cases[] = {
        {Header("urn:uuid:other"), ConfigRsp("SetDefaultPasswdRsp", "10001", "mac", 256)},
        {Header(Mine()), ConfigRsp("SetDeviceAddrRsp", "10002", "mac", 256)},
        {Header(Mine()), ConfigRsp("SetDeviceAddrRsp", "10001", "MAC", 256)},
        {Header(Mine()), ConfigRsp("SetDeviceAddrRsp", "10001", nullptr, 256)},
        {Header(Mine()), ConfigRsp("SetDeviceAddrRsp", "10001", "mac", 256, false)},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(m_client.Messages().Register(msgSeq, "mac", 0), 0);
        Serve(c.header, c.body);
        int result = -1;
        EXPECT_EQ(m_client.Messages().WaitResponse(msgSeq, 0, &result), 10009) << c.body;
        EXPECT_EQ(m_client.Messages().Size(), 0u);
    }
}

// Everyone on the segment sees a request's number and device id: the answer to a request
// sent to one device counts only from that device; a broadcast request's from any sender.
TEST_F(AnswerHandling, UnicastRequestsTakeTheirAnswerFromTheirDeviceOnly) {
    const uint32_t device = 0xC6120014u;  // 198.18.0.20
    const uint32_t other = 0xC6120063u;   // 198.18.0.99
    const struct {
        uint32_t registered;  // 0: broadcast
        uint32_t source;
        int status;
    } cases[] = {
        {device, other, 10009}, {device, 0, 10009}, {device, device, 0},
        {0, other, 0},          {0, device, 0},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(m_client.Messages().Register(10001, "mac", c.registered), 0);
        Serve(Header(Mine()), ConfigRsp("SetDeviceAddrRsp", "10001", "mac", 256), c.source);
        int result = -1;
        EXPECT_EQ(m_client.Messages().WaitResponse(10001, 0, &result), c.status)
            << c.registered << " " << c.source;
    }
}

// A nil body element (xsi:nil) reaches the handler as a null record; it is refused and
// neither crashes nor completes anything.
TEST_F(AnswerHandling, NilAnswerBodiesAreRefused) {
    const char* const elements[] = {"SetDeviceAddrRsp", "SetDefaultPasswdRsp", "SetDefaultCfgRsp",
                                    "ProbeMatches", "KorvaneProbeMatches"};
    for (const char* pElement : elements) {
        ASSERT_EQ(m_client.Messages().Register(10001, "mac", 0), 0);
        const std::string body = std::string("<d:") + pElement +
                                 " xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\" "
                                 "i:nil=\"true\"/>";
        Serve(Header(Mine()), body);
        int result = -1;
        EXPECT_EQ(m_client.Messages().WaitResponse(10001, 0, &result), 10009) << pElement;
        EXPECT_TRUE(m_collector.records.empty()) << pElement;
    }
}

TEST_F(AnswerHandling, UnknownResultIsReportedAsFailure) {
    ASSERT_EQ(m_client.Messages().Register(10001, "mac", 0), 0);
    EXPECT_EQ(Serve(Header(Mine()), ConfigRsp("SetDeviceAddrRsp", "10001", "mac", 257)), 0);
    int result = -1;
    EXPECT_EQ(m_client.Messages().WaitResponse(10001, 0, &result), 0);
    EXPECT_EQ(result, 10000);
}

}  // namespace
