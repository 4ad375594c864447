// The receive thread on a socket of the test's own, bound to 127.0.0.1: what it queues, in
// which order, up to which limit, with which arrival, and how it ends. Nothing leaves the
// loopback interface.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "mc_receive.h"

namespace {

const char kMessageId[] = "urn:uuid:6b1c7e52-3f0a-4d2b-9a61-0c5e8d2f4a17";

class ReceiveThread : public ::testing::Test {
protected:
    void SetUp() override {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        m_sender = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)), 0);
        ASSERT_EQ(bind(m_sender, reinterpret_cast<sockaddr*>(&local), sizeof(local)), 0);
        socklen_t length = sizeof(m_to);
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&m_to), &length);
    }
    void TearDown() override {
        StopReceiver();
        close(m_fd);
        close(m_sender);
    }

    void StartReceiver(size_t queueLimit = kReceiveQueueLimit) {
        m_pReceiver.reset(
            new CReceiveThread(m_fd, kMessageId, &m_stop, &m_wake, &m_counters, queueLimit));
    }
    void StopReceiver() {
        m_stop.store(1);
        m_wake.Set();
        m_pReceiver.reset();
    }
    void Send(const std::string& bytes) {
        ASSERT_EQ(sendto(m_sender, bytes.data(), bytes.size(), 0,
                         reinterpret_cast<const sockaddr*>(&m_to), sizeof(m_to)),
                  static_cast<ssize_t>(bytes.size()));
    }
    uint16_t SenderPort() const {
        sockaddr_in from{};
        socklen_t length = sizeof(from);
        getsockname(m_sender, reinterpret_cast<sockaddr*>(&from), &length);
        return ntohs(from.sin_port);
    }
    // Waits (at most 10 s) until the condition holds.
    static bool Eventually(const std::function<bool()>& condition) {
        for (int i = 0; i < 1000 && !condition(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return condition();
    }

    int m_fd = -1;
    int m_sender = -1;
    CWakeEvent m_wake;
    sockaddr_in m_to{};
    std::atomic<int> m_stop{0};
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
    EXPECT_STREQ(datagram.arrival.interfaceName, "lo");
    EXPECT_EQ(datagram.arrival.localAddress, INADDR_LOOPBACK);
    EXPECT_EQ(datagram.arrival.sourceAddress, INADDR_LOOPBACK);
    EXPECT_EQ(datagram.arrival.sourcePort, SenderPort());
    EXPECT_EQ(m_counters.empty.load(), 1u);
    EXPECT_EQ(m_counters.foreign.load(), 2u);
    EXPECT_EQ(m_counters.queued.load(), 1u);
    EXPECT_FALSE(m_pReceiver->Pop(&datagram, 100));
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

TEST_F(ReceiveThread, EndsOnTheStopRequestAndThenPopReturnsAtOnce) {
    StartReceiver();
    EXPECT_FALSE(m_pReceiver->Ended());
    m_stop.store(1);
    m_wake.Set();
    ASSERT_TRUE(Eventually([this] { return m_pReceiver->Ended(); }));
    ReceivedDatagram datagram;
    EXPECT_FALSE(m_pReceiver->Pop(&datagram, 60000));  // would hang the test if it waited
}

}  // namespace
