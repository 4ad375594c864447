#pragma once

// The client's receive thread. It only empties the socket, as fast as datagrams arrive, into a
// bounded queue; the discovery thread takes them from there one at a time, in arrival order,
// and parses them. So the kernel's socket buffer only has to hold what arrives while the
// receive thread waits for a core, not what arrives while a message is parsed.
//
// What cannot be an answer to this client is dropped here, before it costs any parsing or
// queue memory: empty datagrams, and datagrams that do not contain the client's message id
// ("urn:uuid:" and its UUID), which every answer carries in its RelatesTo. The test is a plain
// byte search: an answer that wrote the id with character or entity references would be
// equal once parsed, and is dropped all the same; no device does that.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Where a datagram came in.
struct Arrival {
    char interfaceName[16] = {};  // the receiving interface (IF_NAMESIZE); empty when unknown
    uint32_t localAddress = 0;    // our address it came in on, host byte order; 0 when unknown
    uint32_t sourceAddress = 0;   // its sender, host byte order
    uint16_t sourcePort = 0;
};

struct ReceivedDatagram {
    std::string bytes;
    Arrival arrival;
};

// What the receive thread did with the datagrams it read, since the client started.
struct ReceiveCounters {
    std::atomic<uint64_t> queued{0};
    std::atomic<uint64_t> empty{0};      // zero-length
    std::atomic<uint64_t> foreign{0};    // without the client's message id
    std::atomic<uint64_t> oversize{0};   // longer than a datagram buffer
    std::atomic<uint64_t> queueFull{0};  // the queue held its limit already
    std::atomic<uint64_t> kernel{0};     // lost in the socket buffer before they were read
};

// Bytes the queue may hold; each datagram counts its length plus kQueueEntryCost.
const size_t kReceiveQueueLimit = 32 * 1024 * 1024;
// What a queued datagram costs beyond its bytes: its entry and the allocator's share.
const size_t kQueueEntryCost = 128;

// Sets the socket's receive buffer to what the kernel then reports as its size (the kernel
// doubles what it is asked for), beyond net.core.rmem_max where the process may. For
// measurements with the buffer a stock system grants; the client keeps its own otherwise.
void SetReceiveBuffer(int fd, int reportedBytes);

class CReceiveThread {
public:
    // Starts the receive thread on fd, which stays the caller's and must outlive the receiver;
    // from here on each datagram is read with where it came in. The thread ends when *pStop
    // is non-zero (stopFd, an eventfd or -1, wakes it) or when the socket fails. messageId:
    // the bytes every answer to this client contains.
    CReceiveThread(int fd, const std::string& messageId, const std::atomic<int>* pStop, int stopFd,
                   ReceiveCounters* pCounters, size_t queueLimit = kReceiveQueueLimit);
    // Waits for the thread to end: the owner has set *pStop and made stopFd readable.
    ~CReceiveThread();
    CReceiveThread(const CReceiveThread&) = delete;
    CReceiveThread& operator=(const CReceiveThread&) = delete;

    // The next datagram in arrival order, waiting up to timeoutMs. false when none came in
    // time, or at once when the thread has ended (see Ended).
    bool Pop(ReceivedDatagram* pDatagram, int timeoutMs);
    // true once the receive thread has ended (stopped, the socket failed, or it never ran).
    bool Ended();

private:
    class CInterfaceNames;
    void Run();
    bool Drain(CInterfaceNames* pNames, std::deque<ReceivedDatagram>* pBatch);
    void Push(std::deque<ReceivedDatagram>* pBatch);
    void Close();

    const int m_fd;
    const std::string m_messageId;
    const std::atomic<int>* m_pStop;
    const int m_stopFd;
    ReceiveCounters* m_pCounters;
    const size_t m_queueLimit;
    std::vector<char> m_buffer;  // one datagram buffer per message of a read batch
    uint32_t m_kernelDrops = 0;  // the socket's drop count as last seen

    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::deque<ReceivedDatagram> m_queue;
    size_t m_queueCost = 0;
    bool m_closed = false;
    std::thread m_thread;
};
