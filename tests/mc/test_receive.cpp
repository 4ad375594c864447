// The receive thread on a socket of the test's own, bound to 127.0.0.1: what it queues, in
// which order, up to which limit, with which arrival, and how it ends. Nothing leaves the
// loopback interface.

#include <gtest/gtest.h>
#ifdef __linux__
#include <dirent.h>
#endif

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "freed_memory.h"
#include "loopback_socket.h"
#include "mc_receive.h"

namespace {

const char kMessageId[] = "urn:uuid:6b1c7e52-3f0a-4d2b-9a61-0c5e8d2f4a17";

class ReceiveThread : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(m_socket.Handle(), kNoSocket);
        ASSERT_NE(m_sender.Handle(), kNoSocket);
    }
    void TearDown() override { StopReceiver(); }

    void StartReceiver(size_t queueLimit = kReceiveQueueLimit) {
        m_pReceiver.reset(new CReceiveThread(m_socket.Handle(), kMessageId, &m_stop, &m_wake,
                                             &m_urgentUntil, &m_counters, queueLimit));
    }
    void StopReceiver() {
        m_stop.store(1);
        m_wake.Set();
        m_pReceiver.reset();
    }
    void Send(const std::string& bytes) { ASSERT_TRUE(m_sender.SendTo(m_socket.Port(), bytes)); }
    uint16_t SenderPort() const { return m_sender.Port(); }
    // Waits (at most 10 s) until the condition holds.
    static bool Eventually(const std::function<bool()>& condition) {
        for (int i = 0; i < 1000 && !condition(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return condition();
    }

    CLoopbackSocket m_socket;
    CLoopbackSocket m_sender;
    CWakeEvent m_wake;
    std::atomic<int> m_stop{0};
    std::atomic<int64_t> m_urgentUntil{0};
    ReceiveCounters m_counters;
    std::unique_ptr<CReceiveThread> m_pReceiver;
};

TEST_F(ReceiveThread, QueuesOnlyWhatCarriesTheMessageIdWithItsArrival) {
    StartReceiver();
    const std::string answer = std::string("<RelatesTo>") + kMessageId + "</RelatesTo>";
    Send("");
    Send("<RelatesTo>urn:uuid:00000000-0000-0000-0000-000000000000</RelatesTo>");
    Send(std::string("<RelatesTo>") + (kMessageId + 9) + "</RelatesTo>");  // bare UUID
    Send(answer);

    ReceivedDatagram datagram;
    ASSERT_TRUE(m_pReceiver->Pop(&datagram, 10000));
    EXPECT_EQ(datagram.bytes, answer);
    EXPECT_STREQ(datagram.arrival.interfaceName, kLoopbackName);
    EXPECT_EQ(datagram.arrival.localAddress, 0x7F000001u);
    EXPECT_EQ(datagram.arrival.sourceAddress, 0x7F000001u);
    EXPECT_EQ(datagram.arrival.sourcePort, SenderPort());
    EXPECT_EQ(m_counters.empty.load(), 1u);
    EXPECT_EQ(m_counters.foreign.load(), 2u);
    EXPECT_EQ(m_counters.queued.load(), 1u);
    EXPECT_FALSE(m_pReceiver->Pop(&datagram, 100));
}

// The client hears its own broadcasts. Such a request may carry a password: it is dropped, and
// the receive buffers give nothing of it back to the heap (freed_memory.h).
TEST_F(ReceiveThread, DropsTheClientsOwnRequestsAndWipesThem) {
    const std::string secret = "<AuthCode>+I]b?D+0lN!gSX:5</AuthCode>";
    const std::string ownRequest =
        std::string("<wsa:MessageID>") + kMessageId + "</wsa:MessageID>" + secret;
    const std::vector<std::string> texts = {secret};
    int hits = 0;
    {
        CFreedMemoryWatch watch(texts);
        StartReceiver();
        Send(ownRequest);
        ASSERT_TRUE(Eventually([this] { return m_counters.own == 1; }));
        StopReceiver();
        hits = watch.Hits();
    }
    EXPECT_EQ(hits, 0);
    EXPECT_EQ(m_counters.queued.load(), 0u);
    EXPECT_EQ(m_counters.foreign.load(), 0u);
}

TEST_F(ReceiveThread, KeepsArrivalOrderAndDropsBeyondItsLimit) {
    const size_t size = 100;
    StartReceiver(3 * (size + kQueueEntryCost));  // room for three such datagrams
    const auto Datagram = [size](int index) {
        std::string bytes = kMessageId + std::to_string(index);
        bytes.resize(size, ' ');
        return bytes;
    };
    for (int i = 0; i < 5; ++i) {
        Send(Datagram(i));
    }
    ASSERT_TRUE(Eventually([this] { return m_counters.queued + m_counters.queueFull == 5; }));
    EXPECT_EQ(m_counters.queued.load(), 3u);
    EXPECT_EQ(m_counters.queueFull.load(), 2u);

    ReceivedDatagram datagram;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(m_pReceiver->Pop(&datagram, 10000));
        EXPECT_EQ(datagram.bytes, Datagram(i));
    }
    // Taken datagrams make room again.
    Send(Datagram(5));
    ASSERT_TRUE(m_pReceiver->Pop(&datagram, 10000));
    EXPECT_EQ(datagram.bytes, Datagram(5));
}

// Once a backlog builds up, nearly alike datagrams wait packed: more of them fit than their
// bytes would allow, and each comes back as it was sent, in order.
TEST_F(ReceiveThread, PacksABacklogOfAlikeDatagrams) {
    const int kCount = 1500;
    const auto Datagram = [](int index) {
        const std::string n = std::to_string(index);
        return std::string(kMessageId) + "<Scopes>serial/" + n + " " + std::string(1300, 's') +
               " mac/" + n + "</Scopes>";
    };
    const size_t raw = kCount * (Datagram(0).size() + kQueueEntryCost);
    StartReceiver(kPackAbove + raw / 4);
    for (int i = 0; i < kCount; ++i) {
        Send(Datagram(i));
        if (i % 50 == 49) {  // paced, so that the test socket's buffer never overflows
            ASSERT_TRUE(Eventually(
                [this, i] { return m_counters.queued + m_counters.queueFull > uint64_t(i); }));
        }
    }
    ASSERT_TRUE(Eventually([this] { return m_counters.queued + m_counters.queueFull == kCount; }));
    EXPECT_EQ(m_counters.queueFull.load(), 0u);
    ReceivedDatagram datagram;
    for (int i = 0; i < kCount; ++i) {
        ASSERT_TRUE(m_pReceiver->Pop(&datagram, 10000));
        ASSERT_EQ(datagram.bytes, Datagram(i));
    }
}

TEST_F(ReceiveThread, EndsOnTheStopRequestAndThenPopReturnsAtOnce) {
    StartReceiver();
    EXPECT_FALSE(m_pReceiver->Ended());
    m_stop.store(1);
    m_wake.Set();
    ASSERT_TRUE(Eventually([this] { return m_pReceiver->Ended(); }));
    ReceivedDatagram datagram;
    EXPECT_FALSE(m_pReceiver->Pop(&datagram, 60000));  // would hang the test if it waited
}

#ifdef __linux__
// Threads of this process whose scheduling policy is not the time-shared one.
int UrgentThreads() {
    int count = 0;
    DIR* pTasks = opendir("/proc/self/task");
    while (const dirent* pTask = pTasks != nullptr ? readdir(pTasks) : nullptr) {
        std::ifstream stat(std::string("/proc/self/task/") + pTask->d_name + "/stat");
        std::string line;
        if (pTask->d_name[0] == '.' || !std::getline(stat, line)) {
            continue;
        }
        std::istringstream fields(line.substr(line.rfind(')') + 2));  // from field 3, the state
        std::string field;
        for (int i = 3; i <= 41 && fields >> field; ++i) {
        }
        count += field != "0" ? 1 : 0;  // field 41: the policy
    }
    if (pTasks != nullptr) {
        closedir(pTasks);
    }
    return count;
}

// Urgent while the deadline lies ahead, normal again from the first datagram after it.
TEST_F(ReceiveThread, IsUrgentOnlyUntilTheDeadline) {
    bool allowed = false;
    std::thread probe([&allowed] { allowed = SetThreadUrgent(true) && SetThreadUrgent(false); });
    probe.join();
    if (!allowed) {
        GTEST_SKIP() << "the system refuses real-time priority to this process";
    }
    m_urgentUntil.store(UrgentClockMs() + 60000);
    StartReceiver();
    EXPECT_TRUE(Eventually([] { return UrgentThreads() == 1; }));
    m_urgentUntil.store(0);
    Send(std::string("<RelatesTo>") + kMessageId + "</RelatesTo>");
    ReceivedDatagram datagram;
    ASSERT_TRUE(m_pReceiver->Pop(&datagram, 10000));
    EXPECT_TRUE(Eventually([] { return UrgentThreads() == 0; }));
}
#endif

// The client socket holds its port alone: a socket with address reuse cannot join it, on
// Linux (no reuse on the client socket) as on Windows (SO_EXCLUSIVEADDRUSE). Nothing is sent.
TEST(ClientSocket, NoReusingSocketJoinsItsPort) {
    SocketHandle socket = kNoSocket;
    uint16_t port = 0;
    ASSERT_EQ(BindClientSocket(&socket, &port), 0);
    EXPECT_GE(port, kDiscoveryPort);
    EXPECT_FALSE(ReusingBindSucceeds(port));
    CloseSocket(socket);
}

}  // namespace
