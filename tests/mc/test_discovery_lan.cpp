// The discovery client end to end, against simulated cameras on both segments of a virtual
// LAN (see lan_fixture.h). Every test runs the client inside the client namespace.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "freed_memory.h"
#include "lan_fixture.h"
#include "common/common_util.h"
#include "mc/mc_discovery.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const char kDiscoveryUrn[] = "urn:schemas-xmlsoap-org:ws:2005:04:discovery";

// Collects records and lets the test wait for a number of them.
class CCollector : public IObserver<CDiscoveryBean> {
public:
    void Update(const CDiscoveryBean* pData) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_records.push_back(*pData);
        m_event.notify_all();
    }
    std::vector<CDiscoveryBean> WaitFor(size_t count, int timeoutMs) {
        std::unique_lock<std::mutex> lock(m_lock);
        m_event.wait_for(lock, milliseconds(timeoutMs), [&] { return m_records.size() >= count; });
        return m_records;
    }
    std::set<std::string> Addresses() {
        std::lock_guard<std::mutex> guard(m_lock);
        std::set<std::string> result;
        for (const CDiscoveryBean& record : m_records) {
            result.insert(record.m_ipAddr);
        }
        return result;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_event;
    std::vector<CDiscoveryBean> m_records;
};

// Stops the client at the end of a test, also when the test fails.
struct ClientDeleter {
    void operator()(CDiscoveryThread* pClient) const {
        if (pClient->Stop() == 0) {
            delete pClient;
        }
    }
};
using ClientPtr = std::unique_ptr<CDiscoveryThread, ClientDeleter>;

class DiscoveryLan : public ::testing::Test {
protected:
    void SetUp() override {
        std::string reason;
        if (!m_lan.Up(&reason)) {
            GTEST_SKIP() << reason;
        }
    }

    ClientPtr StartClient() {
        ClientPtr pClient(new CDiscoveryThread());
        pClient->Init(nullptr);
        EXPECT_EQ(pClient->Start(), 0);
        EXPECT_EQ(pClient->WaitReady(5000), 0);
        return pClient;
    }

    std::string Expected(const ClientPtr& pClient) { return "urn:uuid:" + pClient->GetUuid(); }

    CTestLan m_lan;
};

TEST_F(DiscoveryLan, AutoSearchLeavesThroughEachInterfaceAndFindsEveryDevice) {
    ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", "6"}));
    ASSERT_TRUE(m_lan.StartCamsim('b', {"--count", "4"}));
    const int captureA = m_lan.OpenCapture('a');
    const int captureB = m_lan.OpenCapture('b');
    ASSERT_GE(captureA, 0);
    ASSERT_GE(captureB, 0);
    CCollector collector;  // outlives the client, which may still notify it
    ClientPtr pClient = StartClient();
    ASSERT_EQ(pClient->GetPort(), 3702);
    ASSERT_EQ(pClient->Attach(&collector), 0);
    EXPECT_EQ(pClient->Search(0), 0);

    // Each device answers the standard and the vendor probe.
    const std::vector<CDiscoveryBean> records = collector.WaitFor(20, 5000);
    EXPECT_EQ(records.size(), 20u);
    std::set<std::string> expected;
    for (int i = 10; i < 16; ++i) {
        expected.insert("198.18.0." + std::to_string(i));
    }
    for (int i = 10; i < 14; ++i) {
        expected.insert("198.19.0." + std::to_string(i));
    }
    EXPECT_EQ(collector.Addresses(), expected);
    for (const CDiscoveryBean& record : records) {
        EXPECT_FALSE(record.m_serialNo.empty());
        EXPECT_FALSE(record.m_macAddr.empty());
        EXPECT_FALSE(record.m_version.empty());
        // Each answer came in on the interface of its device's segment.
        const bool segmentA = record.m_ipAddr.rfind("198.18.", 0) == 0;
        EXPECT_EQ(record.m_interface, segmentA ? "eth0" : "eth1") << record.m_ipAddr;
        EXPECT_EQ(record.m_localAddr, segmentA ? "198.18.0.1" : "198.19.0.1") << record.m_ipAddr;
    }

    const struct {
        int fd;
        uint32_t source;
    } segments[] = {{captureA, Ip("198.18.0.1")}, {captureB, Ip("198.19.0.1")}};
    for (const auto& segment : segments) {
        const std::vector<CapturedDatagram> seen = ReadCapture(segment.fd, 3, 300);
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(BodyElement(seen[0].payload), "Probe");
        EXPECT_EQ(seen[0].dst, Ip("239.255.255.250"));
        EXPECT_EQ(seen[0].ttl, 1);
        EXPECT_EQ(BodyElement(seen[1].payload), "KorvaneProbe");
        EXPECT_EQ(seen[1].dst, Ip("255.255.255.255"));
        for (const CapturedDatagram& datagram : seen) {
            EXPECT_EQ(datagram.src, segment.source);  // left through this segment's interface
            EXPECT_EQ(datagram.srcPort, 3702);
            EXPECT_EQ(ElementText(datagram.payload, "MessageID"), Expected(pClient));
            EXPECT_EQ(ElementText(datagram.payload, "To"), kDiscoveryUrn);
            EXPECT_EQ(ElementText(datagram.payload, "Types"), "dn:NetworkVideoTransmitter");
        }
    }
    close(captureA);
    close(captureB);
}

TEST_F(DiscoveryLan, ExactSearchProbesTheRangeInOrderAndFindsExactlyItsDevices) {
    ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", "8"}));  // 198.18.0.10 .. .17
    const int capture = m_lan.OpenCapture('a');
    ASSERT_GE(capture, 0);
    CCollector collector;  // outlives the client, which may still notify it
    ClientPtr pClient = StartClient();
    ASSERT_EQ(pClient->Attach(&collector), 0);

    EXPECT_EQ(pClient->ExactSearch(Ip("198.18.0.12"), Ip("198.18.0.15")), 0);
    collector.WaitFor(4, 3000);
    std::vector<CapturedDatagram> seen = ReadCapture(capture, 5, 300);
    ASSERT_EQ(seen.size(), 4u);
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].dst, Ip("198.18.0.12") + i);
        EXPECT_EQ(BodyElement(seen[i].payload), "Probe");
    }
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(collector.Addresses(),
              std::set<std::string>({"198.18.0.12", "198.18.0.13", "198.18.0.14", "198.18.0.15"}));

    // A single address: one probe. A reversed range: none.
    EXPECT_EQ(pClient->Search(Ip("198.18.0.17")), 0);
    EXPECT_EQ(pClient->ExactSearch(Ip("198.18.0.17"), Ip("198.18.0.16")), 0);
    seen = ReadCapture(capture, 2, 300);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].dst, Ip("198.18.0.17"));
    EXPECT_EQ(ElementText(seen[0].payload, "MessageID"), Expected(pClient));
    close(capture);
}

TEST_F(DiscoveryLan, RangeOf257AddressesLosesNoAnswer) {
    // 260 devices from 198.18.0.10, answering at once (camsim skips .255 and .0); the range
    // 198.18.0.0 - 198.18.1.0 holds the 245 of 198.18.0.10 - 198.18.0.254.
    ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", "260"}));
    ASSERT_TRUE(m_lan.ResolveAll('a', Ip("198.18.0.0"), Ip("198.18.1.0")));
    const int capture = m_lan.OpenCapture('a');
    CCollector collector;  // outlives the client, which may still notify it
    ClientPtr pClient = StartClient();
    ASSERT_EQ(pClient->Attach(&collector), 0);
    EXPECT_EQ(pClient->ExactSearch(Ip("198.18.0.0"), Ip("198.18.1.0")), 0);
    collector.WaitFor(245, 5000);
    std::this_thread::sleep_for(milliseconds(300));
    std::set<std::string> expected;
    for (int i = 10; i <= 254; ++i) {
        expected.insert("198.18.0." + std::to_string(i));
    }
    EXPECT_EQ(collector.Addresses(), expected);
    // All 257 probes left in ascending order; the one to the client's own 198.18.0.1 stays
    // on the host.
    std::vector<uint32_t> expectedOrder;
    for (uint32_t address = Ip("198.18.0.0"); address <= Ip("198.18.1.0"); ++address) {
        if (address != Ip("198.18.0.1")) {
            expectedOrder.push_back(address);
        }
    }
    const std::vector<CapturedDatagram> seen = ReadCapture(capture, 257, 300);
    std::vector<uint32_t> order;
    for (const CapturedDatagram& datagram : seen) {
        order.push_back(datagram.dst);
    }
    EXPECT_EQ(order, expectedOrder);
    close(capture);
}

TEST_F(DiscoveryLan, ForeignAndOwnMessagesProduceNothing) {
    // Segment A answers with another client's RelatesTo, segment B with announcements; the
    // client also hears its own vendor probe (its port is 3702).
    ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", "3", "--behave", "hostile=wrong-relates"}));
    ASSERT_TRUE(m_lan.StartCamsim(
        'b', {"--count", "2", "--device", "0:hostile=hello", "--device", "1:hostile=bye"}));
    CCollector collector;  // outlives the client, which may still notify it
    ClientPtr pClient = StartClient();
    ASSERT_EQ(pClient->GetPort(), 3702);
    ASSERT_EQ(pClient->Attach(&collector), 0);
    EXPECT_EQ(pClient->Search(0), 0);
    EXPECT_TRUE(collector.WaitFor(1, 1000).empty());
    m_lan.StopCamsim('a');

    // The client still works: a valid device is found.
    ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", "1", "--behave", "wsa5"}));
    EXPECT_EQ(pClient->Search(Ip("198.18.0.10")), 0);
    const std::vector<CDiscoveryBean> records = collector.WaitFor(1, 3000);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].m_ipAddr, "198.18.0.10");
}

// Binds 0.0.0.0:port without address reuse.
int HoldPort(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

TEST_F(DiscoveryLan, PortSelectionSkipsAPortHeldExclusively) {
    const int held = HoldPort(3702);
    ASSERT_GE(held, 0);
    ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", "2"}));
    const int capture = m_lan.OpenCapture('a');
    CCollector collector;  // outlives the client, which may still notify it
    ClientPtr pClient = StartClient();
    EXPECT_EQ(pClient->GetPort(), 3703);
    ASSERT_EQ(pClient->Attach(&collector), 0);
    EXPECT_EQ(pClient->Search(Ip("198.18.0.11")), 0);
    const std::vector<CDiscoveryBean> records = collector.WaitFor(1, 3000);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].m_ipAddr, "198.18.0.11");
    const std::vector<CapturedDatagram> seen = ReadCapture(capture, 1, 300);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].srcPort, 3703);
    close(capture);
    close(held);
}

TEST_F(DiscoveryLan, TwoClientsAtOnceGetTwoPortsAndEachItsOwnAnswers) {
    ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", "2"}));
    CCollector first;  // both outlive their clients, which may still notify them
    CCollector second;
    ClientPtr pFirst = StartClient();
    ClientPtr pSecond = StartClient();
    EXPECT_EQ(pFirst->GetPort(), 3702);
    EXPECT_EQ(pSecond->GetPort(), 3703);
    ASSERT_EQ(pFirst->Attach(&first), 0);
    ASSERT_EQ(pSecond->Attach(&second), 0);
    EXPECT_EQ(pFirst->Search(Ip("198.18.0.10")), 0);
    EXPECT_EQ(pSecond->Search(Ip("198.18.0.11")), 0);
    ASSERT_EQ(first.WaitFor(1, 3000).size(), 1u);
    ASSERT_EQ(second.WaitFor(1, 3000).size(), 1u);
    std::this_thread::sleep_for(milliseconds(300));  // room for a stray answer to show
    EXPECT_EQ(first.Addresses(), std::set<std::string>{"198.18.0.10"});
    EXPECT_EQ(second.Addresses(), std::set<std::string>{"198.18.0.11"});
}

// A socket with address or port reuse set, of any user, can neither join the client's port
// nor, when it came first, make the client share its port.
TEST_F(DiscoveryLan, AReusingSocketCannotTakeTheClientsAnswers) {
    const struct {
        int option;
        const char* pName;
    } kOptions[] = {{SO_REUSEADDR, "SO_REUSEADDR"}, {SO_REUSEPORT, "SO_REUSEPORT"}};
    ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", "2"}));
    for (const auto& option : kOptions) {
        SCOPED_TRACE(option.pName);
        const auto reusing = [&option](uint16_t port) {
            const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            const int one = 1;
            setsockopt(fd, SOL_SOCKET, option.option, &one, sizeof(one));
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_port = htons(port);
            if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
                close(fd);
                return -1;
            }
            return fd;
        };
        {
            ClientPtr pClient = StartClient();
            EXPECT_EQ(reusing(pClient->GetPort()), -1);
        }
        const int early = reusing(3702);
        ASSERT_GE(early, 0);
        CCollector collector;
        ClientPtr pClient = StartClient();
        EXPECT_EQ(pClient->GetPort(), 3703);
        ASSERT_EQ(pClient->Attach(&collector), 0);
        EXPECT_EQ(pClient->Search(Ip("198.18.0.10")), 0);
        EXPECT_EQ(collector.WaitFor(1, 3000).size(), 1u);
        pClient.reset();
        close(early);
    }
}

TEST_F(DiscoveryLan, NoFreePortMeansNoSocketNoSpinAndAPromptStop) {
    std::vector<int> held;
    for (int port = 3702; port <= 3801; ++port) {
        held.push_back(HoldPort(static_cast<uint16_t>(port)));
        ASSERT_GE(held.back(), 0);
    }
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    CDiscoveryThread* pClient = new CDiscoveryThread();
    pClient->Init(nullptr);
    ASSERT_EQ(pClient->Start(), 0);
    EXPECT_EQ(pClient->WaitReady(5000), 11000);
    std::this_thread::sleep_for(milliseconds(500));
    EXPECT_EQ(pClient->Search(0), 0);
    const DeviceIdentity device{"S", "M"};
    EXPECT_EQ(pClient->SetDefaultPasswd(0, device, CSecretText("code")), 11000);
    EXPECT_EQ(pClient->Messages().Size(), 0u);
    const auto start = Clock::now();
    ASSERT_EQ(pClient->Stop(), 0);
    EXPECT_LT(Clock::now() - start, milliseconds(3500));
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    const double cpu = (after.ru_utime.tv_sec - before.ru_utime.tv_sec) +
                       (after.ru_utime.tv_usec - before.ru_utime.tv_usec) / 1e6;
    EXPECT_LT(cpu, 0.3);  // a spinning loop would burn the whole half second and more
    delete pClient;
    for (int fd : held) {
        close(fd);
    }
}

TEST_F(DiscoveryLan, StopOnAnIdleClientIsPromptAndEndsDelivery) {
    ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", "2", "--behave", "delay=400"}));
    CCollector collector;  // outlives the client, which may still notify it
    ClientPtr pClient = StartClient();
    ASSERT_EQ(pClient->Attach(&collector), 0);
    EXPECT_EQ(pClient->Search(0), 0);  // answers are in flight when Stop runs
    const auto start = Clock::now();
    EXPECT_EQ(pClient->Stop(), 0);
    EXPECT_LT(Clock::now() - start, milliseconds(3500));
    std::this_thread::sleep_for(milliseconds(600));
    EXPECT_TRUE(collector.WaitFor(1, 0).empty());
}

// Identity of camsim device `index` of segment A (seed 1), read from its fleet listing.
struct Fleet {
    std::vector<std::map<std::string, std::string>> devices;
};

std::string JsonField(const std::string& line, const std::string& key) {
    const std::string marker = "\"" + key + "\": \"";
    const size_t start = line.find(marker);
    if (start == std::string::npos) {
        return std::string();
    }
    const size_t end = line.find('"', start + marker.size());
    return line.substr(start + marker.size(), end - start - marker.size());
}

Fleet ListFleet(const std::string& base, const std::string& seed, int count) {
    Fleet fleet;
    const std::string command = std::string(CTestLan::Camsim()) + " --list json --base " + base +
                                " --seed " + seed + " --count " + std::to_string(count);
    FILE* pPipe = popen(command.c_str(), "r");
    char line[8192];
    while (pPipe != nullptr && fgets(line, sizeof(line), pPipe) != nullptr) {
        const std::string text = line;
        if (text.find("\"ip\"") == std::string::npos) {
            continue;
        }
        std::map<std::string, std::string> device;
        for (const char* pKey : {"ip", "serial", "mac", "password", "code"}) {
            device[pKey] = JsonField(text, pKey);
        }
        fleet.devices.push_back(device);
    }
    if (pPipe != nullptr) {
        pclose(pPipe);
    }
    return fleet;
}

UserInfo Admin(const std::string& password) {
    UserInfo user;
    user.m_userName = "admin";
    Text2CipherString(CSecretText(password), user.m_authCode);
    return user;
}

DeviceIdentity Identity(const std::map<std::string, std::string>& device) {
    return DeviceIdentity{device.at("serial"), device.at("mac")};
}

TEST_F(DiscoveryLan, AddressChangeByBroadcastOnEveryInterfaceCarriesMsgSeq10001) {
    ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", "3"}));
    ASSERT_TRUE(m_lan.StartCamsim('b', {"--count", "1"}));
    const Fleet fleet = ListFleet("198.18.0.10", "1", 3);
    ASSERT_EQ(fleet.devices.size(), 3u);
    const int captureA = m_lan.OpenCapture('a');
    const int captureB = m_lan.OpenCapture('b');
    CCollector collector;  // outlives the client, which may still notify it
    ClientPtr pClient = StartClient();

    // Camsim answers at once, while the client still sends on its second interface. Nothing
    // that the request gives back to the heap holds the scrambled password.
    const DeviceAddress newAddr{"198.18.0.99", "255.255.0.0", "198.18.0.1"};
    const UserInfo admin = Admin(fleet.devices[1].at("password"));
    const std::vector<std::string> cipher = {std::string(admin.m_authCode.View())};
    int hits = 0;
    {
        CFreedMemoryWatch watch(cipher);
        EXPECT_EQ(pClient->SetDeviceAddr(0, admin, Identity(fleet.devices[1]), newAddr), 0);
        hits = watch.Hits();
    }
    EXPECT_EQ(hits, 0);
    EXPECT_EQ(pClient->Messages().Size(), 0u);
    const struct {
        int fd;
        uint32_t source;
    } segments[] = {{captureA, Ip("198.18.0.1")}, {captureB, Ip("198.19.0.1")}};
    for (const auto& segment : segments) {
        const std::vector<CapturedDatagram> seen = ReadCapture(segment.fd, 2, 300);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].dst, Ip("255.255.255.255"));
        EXPECT_EQ(seen[0].src, segment.source);
        EXPECT_EQ(BodyElement(seen[0].payload), "SetDeviceAddrReq");
        EXPECT_EQ(ElementText(seen[0].payload, "MsgSeq"), "10001");
        EXPECT_EQ(ElementText(seen[0].payload, "UserId"), pClient->GetUuid());
        EXPECT_EQ(ElementText(seen[0].payload, "DeviceIpaddr"), "198.18.0.99");
    }

    // The device moved: it answers from its new address.
    ASSERT_EQ(pClient->Attach(&collector), 0);
    EXPECT_EQ(pClient->Search(Ip("198.18.0.99")), 0);
    const std::vector<CDiscoveryBean> records = collector.WaitFor(1, 3000);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].m_serialNo, fleet.devices[1].at("serial"));

    // After an exact search the request goes by unicast, with the next number.
    EXPECT_EQ(pClient->SetDefaultPasswd(Ip("198.18.0.10"), Identity(fleet.devices[0]),
                                        CSecretText(fleet.devices[0].at("code"))),
              0);
    ReadCapture(captureA, 1, 100);  // the unicast probe above
    const std::vector<CapturedDatagram> seenA = ReadCapture(captureA, 2, 300);
    ASSERT_EQ(seenA.size(), 1u);
    EXPECT_EQ(seenA[0].dst, Ip("198.18.0.10"));
    EXPECT_EQ(BodyElement(seenA[0].payload), "SetDefaultPasswdReq");
    EXPECT_EQ(ElementText(seenA[0].payload, "MsgSeq"), "10002");
    EXPECT_EQ(ElementText(seenA[0].payload, "PasswordAuthCode"), fleet.devices[0].at("code"));
    EXPECT_TRUE(ReadCapture(captureB, 1, 100).empty());
    close(captureA);
    close(captureB);
}

TEST_F(DiscoveryLan, DeviceResultsBecomeResultCodes) {
    const int results[] = {256, 258, 259, 260, 261, 262, 257};
    const int codes[] = {0, 11001, 11002, 11003, 11004, 11005, 10000};
    std::vector<std::string> args = {"--count", "7"};
    for (int i = 0; i < 7; ++i) {
        args.push_back("--device");
        args.push_back(std::to_string(i) + ":result=" + std::to_string(results[i]));
    }
    ASSERT_TRUE(m_lan.StartCamsim('a', args));
    const Fleet fleet = ListFleet("198.18.0.10", "1", 7);
    ASSERT_EQ(fleet.devices.size(), 7u);
    ClientPtr pClient = StartClient();
    for (int i = 0; i < 7; ++i) {
        const auto& device = fleet.devices[i];
        EXPECT_EQ(pClient->SetDefaultPasswd(Ip(device.at("ip").c_str()), Identity(device),
                                            CSecretText("x")),
                  codes[i])
            << results[i];
    }
    EXPECT_EQ(pClient->Messages().Size(), 0u);
}

TEST_F(DiscoveryLan, NoAnswerAndAnotherDeviceIdBothTimeOut) {
    ASSERT_TRUE(m_lan.StartCamsim('b', {"--count", "1", "--behave", "silent"}));
    const Fleet fleet = ListFleet("198.19.0.10", "2", 1);
    ASSERT_EQ(fleet.devices.size(), 1u);

    // On segment A a responder of the test's own answers with the right MsgSeq and
    // RelatesTo but another DeviceId.
    int responder = -1;
    m_lan.InNamespace('a', [&responder] { responder = HoldPort(3702); });
    ASSERT_GE(responder, 0);
    const timeval patience = {12, 0};  // the thread ends even if no request comes
    setsockopt(responder, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof(patience));
    std::thread answer([responder] {
        char buffer[65536];
        sockaddr_in from{};
        socklen_t length = sizeof(from);
        const ssize_t got = recvfrom(responder, buffer, sizeof(buffer), 0,
                                     reinterpret_cast<sockaddr*>(&from), &length);
        if (got <= 0) {
            return;
        }
        const std::string request(buffer, static_cast<size_t>(got));
        const std::string reply =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
            "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
            "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><s:Header>"
            "<a:RelatesTo>" +
            ElementText(request, "MessageID") +
            "</a:RelatesTo></s:Header>"
            "<s:Body><d:SetDeviceAddrRsp><d:OpUserInfo><d:MsgSeq>" +
            ElementText(request, "MsgSeq") +
            "</d:MsgSeq></d:OpUserInfo><d:DeviceInfo><d:DeviceSerialNo>" +
            ElementText(request, "DeviceSerialNo") +
            "</d:DeviceSerialNo><d:DeviceId>another</d:DeviceId></d:DeviceInfo>"
            "<d:result>256</d:result></d:SetDeviceAddrRsp></s:Body></s:Envelope>";
        sendto(responder, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
               length);
    });

    ClientPtr pClient = StartClient();
    const DeviceAddress newAddr{"198.18.0.77", "255.255.0.0", "0.0.0.0"};
    int mismatch = -1;
    std::thread other([&] {
        mismatch = pClient->SetDeviceAddr(Ip("198.18.0.2"), Admin("pw"),
                                          DeviceIdentity{"S1", "0012abcdef01"}, newAddr);
    });
    const auto start = Clock::now();
    EXPECT_EQ(pClient->SetDeviceAddr(Ip(fleet.devices[0].at("ip").c_str()), Admin("pw"),
                                     Identity(fleet.devices[0]), newAddr),
              10009);
    EXPECT_GE(Clock::now() - start, milliseconds(9900));
    other.join();
    answer.join();
    EXPECT_EQ(mismatch, 10009);
    EXPECT_EQ(pClient->Messages().Size(), 0u);
    close(responder);
}

}  // namespace

namespace {

TEST_F(DiscoveryLan, GetInstanceGivesOneStartedClient) {
    ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", "1"}));
    CDiscoveryThread* pFirst = CDiscoveryThread::GetInstance();
    ASSERT_NE(pFirst, nullptr);
    EXPECT_EQ(CDiscoveryThread::GetInstance(), pFirst);
    EXPECT_EQ(pFirst->Start(), 10007);  // its thread already runs
    EXPECT_EQ(pFirst->WaitReady(5000), 0);
    CCollector collector;
    ASSERT_EQ(pFirst->Attach(&collector), 0);
    EXPECT_EQ(pFirst->Search(Ip("198.18.0.10")), 0);
    EXPECT_EQ(collector.WaitFor(1, 3000).size(), 1u);
    EXPECT_EQ(pFirst->Stop(), 0);  // the process-wide client is never deleted
}

}  // namespace

namespace {

TEST_F(DiscoveryLan, EveryAddressOfAnInterfaceProbesWithItsOwnSource) {
    ASSERT_EQ(
        std::system(("ip -n " + m_lan.Namespace('c') + " addr add 198.18.5.1/16 dev eth0").c_str()),
        0);
    const int capture = m_lan.OpenCapture('a');
    ClientPtr pClient = StartClient();
    EXPECT_EQ(pClient->Search(0), 0);
    const std::vector<CapturedDatagram> seen = ReadCapture(capture, 5, 300);
    ASSERT_EQ(seen.size(), 4u);
    const std::pair<uint32_t, const char*> expected[] = {
        {Ip("198.18.0.1"), "Probe"},
        {Ip("198.18.5.1"), "Probe"},
        {Ip("198.18.0.1"), "KorvaneProbe"},
        {Ip("198.18.5.1"), "KorvaneProbe"},
    };
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].src, expected[i].first) << i;
        EXPECT_EQ(BodyElement(seen[i].payload), expected[i].second) << i;
    }
    close(capture);
}

}  // namespace

namespace {

const char kProbeAction[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe";

std::set<std::string> Range(const char* pPrefix, int first, int last) {
    std::set<std::string> addresses;
    for (int i = first; i <= last; ++i) {
        addresses.insert(pPrefix + std::to_string(i));
    }
    return addresses;
}

// Devices that follow WS-Discovery to the letter take only a probe that carries its
// wsa:Action, and some flag their AppSequence header must-understand; lenient devices answer
// either way. Auto Search, a range and a single address list them all.
TEST_F(DiscoveryLan, StrictAndLenientDevicesAreListedByEverySearch) {
    // A: .10 .11 strict with AppSequence, .12 strict, .13 lenient with AppSequence, .14 .15
    // lenient. B: .10 - .13 strict with AppSequence.
    ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", "6", "--device", "0-1:strict,appseq", "--device",
                                        "2:strict", "--device", "3:appseq"}));
    ASSERT_TRUE(m_lan.StartCamsim('b', {"--count", "4", "--behave", "strict,appseq"}));
    const int capture = m_lan.OpenCapture('a');
    ASSERT_GE(capture, 0);
    CCollector automatic;  // the collectors outlive the client, which may still notify them
    CCollector range;
    CCollector single;
    ClientPtr pClient = StartClient();

    ASSERT_EQ(pClient->Attach(&automatic), 0);
    EXPECT_EQ(pClient->Search(0), 0);
    // Strict devices answer the standard probe only, lenient ones the vendor probe too.
    automatic.WaitFor(3 * 2 + 3 + 4, 5000);
    std::set<std::string> all = Range("198.18.0.", 10, 15);
    const std::set<std::string> segmentB = Range("198.19.0.", 10, 13);
    all.insert(segmentB.begin(), segmentB.end());
    EXPECT_EQ(automatic.Addresses(), all);
    ASSERT_EQ(pClient->Detach(&automatic), 0);
    std::vector<CapturedDatagram> seen = ReadCapture(capture, 3, 300);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(BodyElement(seen[0].payload), "Probe");
    EXPECT_EQ(ElementText(seen[0].payload, "Action"), kProbeAction);
    EXPECT_EQ(BodyElement(seen[1].payload), "KorvaneProbe");
    EXPECT_EQ(seen[1].payload.find("Action"), std::string::npos);  // the vendor probe has none

    ASSERT_EQ(pClient->Attach(&range), 0);
    EXPECT_EQ(pClient->ExactSearch(Ip("198.18.0.10"), Ip("198.18.0.15")), 0);
    range.WaitFor(6, 3000);
    EXPECT_EQ(range.Addresses(), Range("198.18.0.", 10, 15));
    ASSERT_EQ(pClient->Detach(&range), 0);
    seen = ReadCapture(capture, 7, 300);
    ASSERT_EQ(seen.size(), 6u);
    for (const CapturedDatagram& datagram : seen) {
        EXPECT_EQ(ElementText(datagram.payload, "Action"), kProbeAction);
    }

    ASSERT_EQ(pClient->Attach(&single), 0);
    EXPECT_EQ(pClient->Search(Ip("198.19.0.12")), 0);
    EXPECT_EQ(single.WaitFor(1, 3000).size(), 1u);
    EXPECT_EQ(single.Addresses(), std::set<std::string>({"198.19.0.12"}));
    close(capture);
}

// A repeated search sends the very same datagrams again, and finds the devices behind links
// that lose the first ones; a search without repeats finds none of them.
TEST_F(DiscoveryLan, RepeatedSearchSendsTheSameDatagramsAgainAndReachesLossyLinks) {
    // Each device of A loses the first two datagrams that reach it: one round of a search.
    ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", "3", "--behave", "drop=2"}));
    const int capture = m_lan.OpenCapture('a');
    ASSERT_GE(capture, 0);
    CCollector once;
    CCollector repeated;
    ClientPtr pClient = StartClient();
    EXPECT_EQ(pClient->SetSearchRepeat(0), 10001);
    EXPECT_EQ(pClient->SetSearchRepeat(6), 10001);

    ASSERT_EQ(pClient->Attach(&once), 0);
    EXPECT_EQ(pClient->Search(0), 0);
    EXPECT_TRUE(once.WaitFor(1, 1000).empty());
    ASSERT_EQ(pClient->Detach(&once), 0);
    const std::vector<CapturedDatagram> first = ReadCapture(capture, 3, 300);
    ASSERT_EQ(first.size(), 2u);

    ASSERT_EQ(pClient->SetSearchRepeat(3), 0);
    ASSERT_EQ(pClient->Attach(&repeated), 0);
    EXPECT_EQ(pClient->Search(0), 0);  // returns before the copies leave
    // The devices answer both probes of the second and of the third round.
    repeated.WaitFor(3 * 2 * 2, 5000);
    EXPECT_EQ(repeated.Addresses(), Range("198.18.0.", 10, 12));
    // Copies leave up to 500 ms apart: wait longer than that for the last one.
    const std::vector<CapturedDatagram> copies = ReadCapture(capture, 7, 1500);
    ASSERT_EQ(copies.size(), 6u);
    for (size_t i = 0; i < copies.size(); ++i) {
        EXPECT_EQ(copies[i].payload, first[i % 2].payload) << i;
        EXPECT_EQ(copies[i].dst, first[i % 2].dst) << i;
    }
    close(capture);
}

}  // namespace
