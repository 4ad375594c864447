// camsim's device policy without sockets: which devices a datagram reaches, which of them
// answer (probe types, strict devices, lossy links) and what a configuration request does.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "camsim_fleet.h"
#include "camsim_policy.h"
#include "camsim_wire.h"

namespace {

const char kWsd[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
const char kOnvifNetwork[] = "http://www.onvif.org/ver10/network/wsdl";
const char kOnvifDevice[] = "http://www.onvif.org/ver10/device/wsdl";
const char kDevProf[] = "http://schemas.xmlsoap.org/ws/2006/02/devprof";
const char kMessageId[] = "urn:uuid:11111111-2222-4333-8444-555555555555";
const uint32_t kGroup = 0xEFFFFFFA;            // 239.255.255.250
const Peer kClient{0xC6120001, 40000};         // 198.18.0.1
const uint32_t kSubnetBroadcast = 0xC612FFFF;  // 198.18.255.255

class FakeHost : public Host {
public:
    bool IsLocalAddress(uint32_t ip) override { return local.count(ip) != 0; }
    bool AddAddress(uint32_t ip, uint32_t) override {
        added.push_back(ip);
        return !addFails;
    }
    std::set<uint32_t> local;
    std::vector<uint32_t> added;
    bool addFails = false;
};

std::vector<Device> Fleet(uint32_t count) {
    FleetOptions options;
    options.count = count;
    return GenerateFleet(options);  // 198.18.0.10, .11, ... /16
}

// A request envelope; header and body are inserted as given.
std::string Envelope(const std::string& header, const std::string& body,
                     const std::string& declarations = std::string(" xmlns:dn=\"") + kOnvifNetwork +
                                                       "\"") {
    return std::string(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
               "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
               "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
               "xmlns:a5=\"http://www.w3.org/2005/08/addressing\" xmlns:t=\"") +
           kWsd + "\"" + declarations + "><s:Header><a:MessageID>" + kMessageId + "</a:MessageID>" +
           header + "</s:Header><s:Body>" + body + "</s:Body></s:Envelope>";
}

std::string Action(const std::string& element) {
    return std::string("<a:Action>") + kWsd + "/" + element + "</a:Action>";
}

std::string PasswdRequest(const Device& d, const std::string& code) {
    return "<t:SetDefaultPasswdReq><t:OpUserInfo><t:UserName>admin</t:UserName><t:AuthCode>"
           "</t:AuthCode><t:UserId>u</t:UserId><t:MsgSeq>7</t:MsgSeq></t:OpUserInfo>"
           "<t:DeviceInfo><t:DeviceSerialNo>" +
           d.serial + "</t:DeviceSerialNo><t:DeviceId>" + d.mac +
           "</t:DeviceId></t:DeviceInfo><t:PasswordAuthCode>" + code +
           "</t:PasswordAuthCode></t:SetDefaultPasswdReq>";
}

std::string AddrRequest(const Device& d, const std::string& password, const std::string& ip,
                        const std::string& mask) {
    return "<t:SetDeviceAddrReq><t:OpUserInfo><t:UserName>admin</t:UserName><t:AuthCode>" +
           ScramblePassword(password) +
           "</t:AuthCode><t:UserId>u</t:UserId><t:MsgSeq>8</t:MsgSeq></t:OpUserInfo>"
           "<t:DeviceInfo><t:DeviceSerialNo>" +
           d.serial + "</t:DeviceSerialNo><t:DeviceId>" + d.mac +
           "</t:DeviceId></t:DeviceInfo><t:DeviceAddrInfo><t:DeviceIpaddr>" + ip +
           "</t:DeviceIpaddr><t:DeviceIpMask>" + mask +
           "</t:DeviceIpMask><t:DefaultGW>198.18.0.1</t:DefaultGW></t:DeviceAddrInfo>"
           "</t:SetDeviceAddrReq>";
}

std::vector<Answer> Deliver(DevicePolicy& policy, const std::string& datagram, uint32_t to,
                            const Peer& from = kClient) {
    return policy.OnDatagram(datagram.data(), datagram.size(), from, to);
}

// The devices (by address) that answered.
std::set<uint32_t> Sources(const std::vector<Answer>& answers) {
    std::set<uint32_t> out;
    for (const Answer& a : answers) {
        out.insert(a.from);
    }
    return out;
}

std::string ResultOf(const Answer& answer) {
    const std::string open = "<d:result>";
    size_t at = answer.payload.find(open);
    return at == std::string::npos
               ? ""
               : answer.payload.substr(
                     at + open.size(),
                     answer.payload.find('<', at + open.size()) - at - open.size());
}

TEST(CamsimProbeTypes, EveryProbedTypeMustBeOneTheDeviceHas) {
    const std::string dn = std::string(" xmlns:dn=\"") + kOnvifNetwork + "\"";
    const std::string tds = std::string(" xmlns:tds=\"") + kOnvifDevice + "\"";
    const std::string wsdp = std::string(" xmlns:wsdp=\"") + kDevProf + "\"";
    const std::string bogusX = " xmlns:x=\"urn:bogus\"";
    struct Case {
        const char* name;
        std::string declarations;  // on the envelope
        std::string probe;         // the body
        bool answered;
    } cases[] = {
        {"network video transmitter", dn,
         "<t:Probe><t:Types>dn:NetworkVideoTransmitter</t:Types></t:Probe>", true},
        {"onvif device", tds, "<t:Probe><t:Types>tds:Device</t:Types></t:Probe>", true},
        {"both types, blanks around", dn + tds,
         "<t:Probe><t:Types>\n dn:NetworkVideoTransmitter\ttds:Device </t:Types></t:Probe>", true},
        {"prefix declared on Types", "",
         std::string("<t:Probe><t:Types xmlns:nv=\"") + kOnvifNetwork +
             "\">nv:NetworkVideoTransmitter</t:Types></t:Probe>",
         true},
        {"default namespace on Types", "",
         std::string("<t:Probe><t:Types xmlns=\"") + kOnvifNetwork +
             "\">NetworkVideoTransmitter</t:Types></t:Probe>",
         true},
        {"inner declaration wins", " xmlns:dn=\"urn:bogus\"",
         std::string("<t:Probe xmlns:dn=\"") + kOnvifNetwork +
             "\"><t:Types>dn:NetworkVideoTransmitter</t:Types></t:Probe>",
         true},
        {"inner bogus declaration wins", dn,
         "<t:Probe><t:Types xmlns:dn=\"urn:bogus\">dn:NetworkVideoTransmitter</t:Types></t:Probe>",
         false},
        {"right local name, bogus namespace", bogusX,
         "<t:Probe><t:Types>x:NetworkVideoTransmitter</t:Types></t:Probe>", false},
        {"device of another namespace", wsdp, "<t:Probe><t:Types>wsdp:Device</t:Types></t:Probe>",
         false},
        {"one type the device lacks", dn + wsdp,
         "<t:Probe><t:Types>dn:NetworkVideoTransmitter wsdp:Device</t:Types></t:Probe>", false},
        {"other local name", dn, "<t:Probe><t:Types>dn:Printer</t:Types></t:Probe>", false},
        {"undeclared prefix", "",
         "<t:Probe><t:Types>dn:NetworkVideoTransmitter</t:Types></t:Probe>", false},
        {"unprefixed, no default namespace", "",
         "<t:Probe><t:Types>NetworkVideoTransmitter</t:Types></t:Probe>", false},
        {"empty prefix", dn, "<t:Probe><t:Types>:NetworkVideoTransmitter</t:Types></t:Probe>",
         false},
        {"empty local name", dn, "<t:Probe><t:Types>dn:</t:Types></t:Probe>", false},
        {"empty Types", "", "<t:Probe><t:Types/></t:Probe>", true},
        {"blank Types", "", "<t:Probe><t:Types> \n </t:Types></t:Probe>", true},
        {"no Types", "", "<t:Probe/>", true},
        {"vendor probe, same rule", bogusX,
         "<t:KorvaneProbe><t:Types>x:NetworkVideoTransmitter</t:Types></t:KorvaneProbe>", false},
    };
    for (const Case& c : cases) {
        FakeHost host;
        DevicePolicy policy(Fleet(1), 1, host);
        std::vector<Answer> answers =
            Deliver(policy, Envelope("", c.probe, c.declarations), policy.Fleet()[0].ip);
        EXPECT_EQ(answers.size(), c.answered ? 1u : 0u) << c.name;
    }
}

TEST(CamsimProbeTypes, MatchesDeclareTheTypesTheDeviceHas) {
    FakeHost host;
    DevicePolicy policy(Fleet(1), 1, host);
    std::vector<Answer> answers = Deliver(policy, Envelope("", "<t:Probe/>"), kGroup);
    ASSERT_EQ(answers.size(), 1u);
    const std::string& p = answers[0].payload;
    EXPECT_NE(p.find("<d:Types>dn:NetworkVideoTransmitter tds:Device</d:Types>"),
              std::string::npos);
    EXPECT_NE(p.find(std::string("xmlns:dn=\"") + kOnvifNetwork + "\""), std::string::npos);
    EXPECT_NE(p.find(std::string("xmlns:tds=\"") + kOnvifDevice + "\""), std::string::npos);
}

TEST(CamsimStrict, StrictDeviceTakesOnlyMessagesWithTheActionOfTheirBody) {
    struct Case {
        const char* name;
        std::string header;
        std::string body;  // "" for a probe; otherwise a configuration request
        bool strictAnswers;
    } cases[] = {
        {"probe without action", "", "", false},
        {"probe with its action", Action("Probe"), "", true},
        {"action with blanks around", std::string("<a:Action>\n ") + kWsd + "/Probe </a:Action>",
         "", true},
        {"probe with wsa 1.0 action", std::string("<a5:Action>") + kWsd + "/Probe</a5:Action>", "",
         true},
        {"probe with another body's action", Action("KorvaneProbe"), "", false},
        {"probe with an empty action", "<a:Action></a:Action>", "", false},
        {"action of another namespace",
         "<a:Action>http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01/Probe</a:Action>", "",
         false},
        {"vendor probe with its action", Action("KorvaneProbe"), "<t:KorvaneProbe/>", true},
        {"configuration without action", "", "passwd", false},
        {"configuration with its action", Action("SetDefaultPasswdReq"), "passwd", true},
    };
    for (const Case& c : cases) {
        FakeHost host;
        std::vector<Device> fleet = Fleet(2);
        fleet[1].behaviour.strict = true;
        DevicePolicy policy(fleet, 1, host);
        for (uint32_t index : {0u, 1u}) {
            const Device& d = policy.Fleet()[index];
            std::string body = c.body == "passwd" ? PasswdRequest(d, "wrong")
                               : c.body.empty()   ? "<t:Probe/>"
                                                  : c.body;
            size_t answers = Deliver(policy, Envelope(c.header, body), d.ip).size();
            bool expected = index == 0 || c.strictAnswers;  // device 0 is lenient
            EXPECT_EQ(answers, expected ? 1u : 0u) << c.name << (index ? " (strict)" : "");
        }
    }
}

TEST(CamsimLossyLink, EachDeviceLosesItsOwnFirstDatagrams) {
    FakeHost host;
    std::vector<Device> fleet = Fleet(3);
    fleet[0].behaviour.drop = 2;
    fleet[2].behaviour.drop = 1;
    DevicePolicy policy(fleet, 1, host);
    const uint32_t a = fleet[0].ip, b = fleet[1].ip, c = fleet[2].ip;
    const std::string probe = Envelope("", "<t:Probe/>");
    // Any datagram that reaches a device counts, also one that is not a request at all.
    EXPECT_TRUE(Deliver(policy, "not xml", a).empty());
    // Unicast to b costs the others nothing; multicast reaches everyone.
    EXPECT_EQ(Sources(Deliver(policy, probe, b)), (std::set<uint32_t>{b}));
    EXPECT_EQ(Sources(Deliver(policy, probe, kGroup)), (std::set<uint32_t>{b}));
    EXPECT_EQ(Sources(Deliver(policy, probe, kGroup)), (std::set<uint32_t>{a, b, c}));
    EXPECT_EQ(policy.Stats().dropped, 3u);
    EXPECT_EQ(policy.Stats().probes, 3u);
}

TEST(CamsimPolicy, DestinationDecidesWhichDevicesHear) {
    FakeHost host;
    std::vector<Device> fleet = Fleet(3);
    fleet[2].ip = 0xC6130005;  // 198.19.0.5/16: another subnet
    DevicePolicy policy(fleet, 1, host);
    const std::string probe = Envelope("", "<t:Probe/>");
    const uint32_t a = fleet[0].ip, b = fleet[1].ip, c = fleet[2].ip;
    struct Case {
        const char* name;
        uint32_t destination;
        std::set<uint32_t> answered;
    } cases[] = {
        {"multicast group", kGroup, {a, b, c}},
        {"limited broadcast", 0xFFFFFFFF, {a, b, c}},
        {"subnet broadcast", kSubnetBroadcast, {a, b}},
        {"one device", b, {b}},
        {"no device there", 0xC61200FA, {}},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(Sources(Deliver(policy, probe, k.destination)), k.answered) << k.name;
    }
}

TEST(CamsimPolicy, AnswerGoesFromTheDeviceToTheRequesterWithItsBehaviour) {
    FakeHost host;
    std::vector<Device> fleet = Fleet(1);
    fleet[0].behaviour.delayMs = 40;
    fleet[0].behaviour.copies = 3;
    DevicePolicy policy(fleet, 1, host);
    std::vector<Answer> answers = Deliver(policy, Envelope("", "<t:Probe/>"), kGroup);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].from, fleet[0].ip);
    EXPECT_EQ(answers[0].to.ip, kClient.ip);
    EXPECT_EQ(answers[0].to.port, kClient.port);
    EXPECT_EQ(answers[0].delayMs, 40u);
    EXPECT_EQ(answers[0].copies, 3u);
    EXPECT_NE(answers[0].payload.find(std::string("<wsa:RelatesTo>") + kMessageId),
              std::string::npos);
    // Never an answer to our own answers, nor to a sender without a port.
    EXPECT_TRUE(Deliver(policy, Envelope("", "<t:Probe/>"), kGroup, {fleet[0].ip, 3702}).empty());
    EXPECT_TRUE(Deliver(policy, Envelope("", "<t:Probe/>"), kGroup, {kClient.ip, 0}).empty());
    EXPECT_EQ(policy.Stats().ignored, 2u);
}

TEST(CamsimPolicy, ConfigurationResults) {
    std::vector<Device> fleet = Fleet(2);
    const Device& d = fleet[0];
    const uint32_t localIp = 0xC6120002;  // 198.18.0.2, the namespace's own address
    struct Case {
        const char* name;
        std::string body;
        const char* result;
    } cases[] = {
        {"wrong serial code", PasswdRequest(d, "000000000000"), "260"},
        {"serial code", PasswdRequest(d, d.serialCode), "256"},
        {"wrong password", AddrRequest(d, "nope", "198.18.3.3", "255.255.0.0"), "261"},
        {"bad mask", AddrRequest(d, d.password, "198.18.3.3", "255.0.255.0"), "258"},
        {"network address", AddrRequest(d, d.password, "198.18.3.0", "255.255.0.0"), "258"},
        {"another device's address", AddrRequest(d, d.password, IpText(fleet[1].ip), "255.255.0.0"),
         "262"},
        {"the requester's address", AddrRequest(d, d.password, IpText(kClient.ip), "255.255.0.0"),
         "262"},
        {"a local address", AddrRequest(d, d.password, IpText(localIp), "255.255.0.0"), "262"},
        {"its own address", AddrRequest(d, d.password, IpText(d.ip), "255.255.0.0"), "256"},
    };
    for (const Case& c : cases) {
        FakeHost host;
        host.local.insert(localIp);
        DevicePolicy policy(fleet, 1, host);
        std::vector<Answer> answers = Deliver(policy, Envelope("", c.body), d.ip);
        ASSERT_EQ(answers.size(), 1u) << c.name;
        EXPECT_EQ(ResultOf(answers[0]), c.result) << c.name;
        EXPECT_TRUE(host.added.empty()) << c.name;
    }
}

TEST(CamsimPolicy, AddressChangeMovesTheDeviceOnlyWhenTheHostTookTheAddress) {
    const uint32_t newIp = 0xC612014D;  // 198.18.1.77
    for (bool addFails : {false, true}) {
        FakeHost host;
        host.addFails = addFails;
        std::vector<Device> fleet = Fleet(1);
        const uint32_t oldIp = fleet[0].ip;
        DevicePolicy policy(fleet, 1, host);
        std::vector<Answer> answers = Deliver(
            policy,
            Envelope("", AddrRequest(fleet[0], fleet[0].password, IpText(newIp), "255.255.0.0")),
            oldIp);
        ASSERT_EQ(answers.size(), 1u);
        EXPECT_EQ(ResultOf(answers[0]), "256");
        EXPECT_EQ(answers[0].from, oldIp) << "the answer leaves from the address asked";
        EXPECT_EQ(host.added, std::vector<uint32_t>{newIp});
        EXPECT_EQ(policy.Occupied(newIp), !addFails);
        EXPECT_EQ(policy.Occupied(oldIp), addFails);
        EXPECT_EQ(answers[0].removeAfter, addFails ? 0u : oldIp);
        EXPECT_EQ(policy.Stats().moves, addFails ? 0u : 1u);
    }
}

TEST(CamsimPolicy, ConfigurationReachesOnlyTheDeviceItNames) {
    FakeHost host;
    std::vector<Device> fleet = Fleet(3);
    DevicePolicy policy(fleet, 1, host);
    const std::string request = Envelope("", PasswdRequest(fleet[1], "x"));
    EXPECT_EQ(Sources(Deliver(policy, request, 0xFFFFFFFF)), (std::set<uint32_t>{fleet[1].ip}));
    EXPECT_TRUE(Deliver(policy, request, fleet[0].ip).empty());
    Device other = fleet[1];
    other.mac = "00:00:00:00:00:01";
    EXPECT_TRUE(Deliver(policy, Envelope("", PasswdRequest(other, "x")), fleet[1].ip).empty());
}

}  // namespace

int main(int argc, char** argv) {
    InitXml();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
