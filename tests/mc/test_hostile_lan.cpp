// The discovery client on a hostile segment: 250 simulated cameras on two segments and, beside
// them on segment A, a sender that learns the client's probe and floods it for 3 seconds with
// fake probe matches (made-up devices relating to the probe), zero-length datagrams and large
// junk envelopes. Every real camera must be listed once, the client must send nothing but its
// probes, and its memory must stay bounded.

#include <gtest/gtest.h>

#include <linux/if_packet.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/common_log.h"
#include "front/front_device_list.h"
#include "lan_fixture.h"
#include "mc/mc_discovery.h"

namespace {

using std::chrono::milliseconds;

const int kCamerasPerSegment = 125;
// Peak resident memory of the test process, the client in it, while the flood lasts (about
// 30 MB measured). The caps make it so: at most 65,536 listed devices and 32 MiB of queued
// datagrams; without them the 384,000 fake devices the flood offers would take far more.
const long kPeakMemoryBoundKb = 96 * 1024;
// Sanitizers keep shadow memory of their own, several times the program's.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const bool kMemoryIsTheProgramsOwn = false;
#else
const bool kMemoryIsTheProgramsOwn = true;
#endif

// Lists the records as the programs do, and lets the test wait for the real cameras.
class CListing : public IObserver<CDiscoveryBean> {
public:
    void Update(const CDiscoveryBean* pData) override {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_list.Add(*pData) >= 0 && IsReal(pData->m_ipAddr)) {
            m_real.push_back(pData->m_ipAddr);
            m_event.notify_all();
        }
    }
    std::vector<std::string> WaitForReal(size_t count, int timeoutMs) {
        std::unique_lock<std::mutex> lock(m_lock);
        m_event.wait_for(lock, milliseconds(timeoutMs), [&] { return m_real.size() >= count; });
        return m_real;
    }
    size_t Listed() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_list.Size();
    }
    static bool IsReal(const std::string& ip) {
        return ip.rfind("198.18.", 0) == 0 || ip.rfind("198.19.", 0) == 0;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_event;
    CDeviceList m_list;
    std::vector<std::string> m_real;
};

struct ClientDeleter {
    void operator()(CDiscoveryThread* pClient) const {
        if (pClient->Stop() == 0) {
            delete pClient;
        }
    }
};
using ClientPtr = std::unique_ptr<CDiscoveryThread, ClientDeleter>;

// Every IPv4 packet from `source` seen on a capture until it is quiet for timeoutMs: protocol
// and destination port (0 unless UDP).
std::vector<std::pair<int, int>> PacketsFrom(int fd, uint32_t source, int timeoutMs) {
    std::vector<std::pair<int, int>> seen;
    std::vector<unsigned char> buffer(70000);
    for (;;) {
        pollfd item = {fd, POLLIN, 0};
        if (poll(&item, 1, timeoutMs) <= 0) {
            return seen;
        }
        const ssize_t got = recv(fd, buffer.data(), buffer.size(), 0);
        if (got < static_cast<ssize_t>(sizeof(iphdr))) {
            continue;
        }
        iphdr ip;
        std::memcpy(&ip, buffer.data(), sizeof(ip));
        if (ntohl(ip.saddr) != source) {
            continue;
        }
        int port = 0;
        if (ip.protocol == IPPROTO_UDP && got >= static_cast<ssize_t>(ip.ihl * 4u + 4)) {
            port = buffer[ip.ihl * 4u + 2] * 256 + buffer[ip.ihl * 4u + 3];
        }
        seen.emplace_back(ip.protocol, port);
    }
}

long PeakMemoryKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

// What each kind of datagram the flood sent counts, from camflood's "key=value" line.
long FloodCount(const std::string& output, const std::string& key) {
    const size_t at = output.find(" " + key + "=");
    return at == std::string::npos ? -1 : std::atol(output.c_str() + at + key.size() + 2);
}

class HostileLan : public ::testing::Test {
protected:
    void SetUp() override {
        std::string reason;
        if (!m_lan.Up(&reason)) {
            GTEST_SKIP() << reason;
        }
    }
    CTestLan m_lan;
};

TEST_F(HostileLan, FloodsBesideRealCamerasHideNoneGetNoReplyAndStayBounded) {
    const std::string count = std::to_string(kCamerasPerSegment);
    ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", count}));
    ASSERT_TRUE(m_lan.StartCamsim('b', {"--count", count}));
    // 3 s at 1,500 datagrams a second, the three kinds in turn (4,500 datagrams at most).
    ASSERT_TRUE(
        m_lan.StartCamflood('a', {"--learn", "--kind", "matches,empty,junk", "--matches", "300",
                                  "--rate", "1500", "--duration", "3000", "--total", "4500"}));
    const int captureA = m_lan.OpenCapture('a');
    const int captureB = m_lan.OpenCapture('b');
    ASSERT_GE(captureA, 0);
    ASSERT_GE(captureB, 0);
    // The log as the programs keep it, at DEBUG, in a directory of the test's own.
    char logDir[] = "/tmp/scoutcam-hostile.XXXXXX";
    ASSERT_NE(mkdtemp(logDir), nullptr);
    CLogThread* pLog = GetLogThread();
    ASSERT_NE(pLog, nullptr);
    pLog->m_sysLog.SetLevel(LEVEL_DEBUG);
    pLog->m_sysLog.SetLogDir(logDir);
    ASSERT_EQ(pLog->StartLog(), 0);
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak from here on

    CListing listing;  // outlives the client, which may still notify it
    ClientPtr pClient(new CDiscoveryThread());
    pClient->Init(nullptr);
    ASSERT_EQ(pClient->Start(), 0);
    ASSERT_EQ(pClient->WaitReady(5000), 0);
    ASSERT_EQ(pClient->Attach(&listing), 0);
    ASSERT_EQ(pClient->Search(0), 0);

    const std::vector<std::string> real = listing.WaitForReal(2 * kCamerasPerSegment, 60000);
    std::this_thread::sleep_for(milliseconds(3500));  // the rest of the flood
    std::string flood = m_lan.StopCamflood('a');
    flood.erase(flood.find_last_not_of("\n") + 1);
    pClient->Detach(&listing);
    const long peakKb = PeakMemoryKb();
    GetLogThread()->StopLog();

    // Every real camera, once.
    std::set<std::string> expected;
    for (int i = 0; i < kCamerasPerSegment; ++i) {
        expected.insert("198.18.0." + std::to_string(10 + i));
        expected.insert("198.19.0." + std::to_string(10 + i));
    }
    EXPECT_EQ(real.size(), expected.size());
    EXPECT_EQ(std::set<std::string>(real.begin(), real.end()), expected);

    // The flood came, of every kind, relating to this client's probe; its fake devices were
    // listed up to the cap at most, the rest dropped before parsing.
    EXPECT_NE(flood.find("relates_to=urn:uuid:" + pClient->GetUuid()), std::string::npos) << flood;
    EXPECT_GT(FloodCount(flood, "matches"), 0) << flood;
    EXPECT_GT(FloodCount(flood, "empty"), 0) << flood;
    EXPECT_GT(FloodCount(flood, "junk"), 0) << flood;
    EXPECT_GT(listing.Listed(), expected.size());
    EXPECT_LE(listing.Listed(), kMaxListedDevices);
    EXPECT_GT(pClient->Received().empty.load(), 0u);
    EXPECT_GT(pClient->Received().foreign.load(), 0u);
    std::printf(
        "flood: %s; client: %lu listed, %lu empty and %lu foreign datagrams dropped "
        "unparsed, %lu at the queue's limit, %lu in the kernel; peak %ld kB\n",
        flood.c_str(), static_cast<unsigned long>(listing.Listed()),
        static_cast<unsigned long>(pClient->Received().empty.load()),
        static_cast<unsigned long>(pClient->Received().foreign.load()),
        static_cast<unsigned long>(pClient->Received().queueFull.load()),
        static_cast<unsigned long>(pClient->Received().kernel.load()), peakKb);
    EXPECT_GT(peakKb, 0);
    if (kMemoryIsTheProgramsOwn) {
        EXPECT_LT(peakKb, kPeakMemoryBoundKb);
    }

    // Lines repeated for every datagram were limited: the log was never started afresh, so
    // its first line is still there.
    const std::string logPath = std::string(logDir) + "/scoutcam.log";
    std::ifstream log(logPath);
    std::string first;
    std::getline(log, first);
    EXPECT_NE(first.find("log thread started"), std::string::npos) << first;
    std::remove(logPath.c_str());
    rmdir(logDir);

    // Nothing but the two probes left the client on either segment.
    const struct {
        int fd;
        uint32_t source;
    } segments[] = {{captureA, Ip("198.18.0.1")}, {captureB, Ip("198.19.0.1")}};
    for (const auto& segment : segments) {
        const std::vector<std::pair<int, int>> sent = PacketsFrom(segment.fd, segment.source, 300);
        const std::vector<std::pair<int, int>> probes = {{IPPROTO_UDP, 3702}, {IPPROTO_UDP, 3702}};
        EXPECT_EQ(sent, probes);
        close(segment.fd);
    }
}

}  // namespace
