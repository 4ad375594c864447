#pragma once

// The client's receive thread. It only empties the socket, as fast as datagrams arrive, into a
// bounded queue; the client's parsing threads take them from there in arrival order, each with
// its ticket (mc_order), and parse them. So the kernel's socket buffer only has to hold what
// arrives while the receive thread waits for a core, not what arrives while a message is parsed.
//
// What cannot be an answer to this client is dropped here, before it costs any parsing or
// queue memory: empty datagrams, datagrams that do not contain the client's message id
// ("urn:uuid:" and its UUID), which every answer carries in its RelatesTo, and the client's own
// requests heard back (a broadcast or multicast to the client's port), which carry the id as
// their wsa:MessageID. An own request may carry a password or serial code: its bytes are wiped
// where they were read. The tests are plain byte searches: an answer that wrote the id with
// character or entity references would be equal once parsed, and is dropped all the same; no
// device does that.
//
// While the queue holds a backlog (parsing is behind), datagrams wait packed against an earlier
// one (mc_pack): a burst of answers that are nearly alike takes a fraction of its size.
//
// While a search is under way (until the deadline the client sets as it sends), the thread runs
// above the time-shared threads where the system allows it (SetThreadUrgent). A burst of
// answers arrives faster than a core parses them; when the parsing thread, or any other
// program, holds the core for a time slice of a few milliseconds, a socket buffer of 425,984
// bytes (about 130 answers) overflows within one. Outside a search it runs as any thread, so
// that a flood cannot take a core at real-time priority for longer than a search lasts.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mc_net.h"
#include "mc_pack.h"

// A steady clock in milliseconds, for the urgency deadline.
int64_t UrgentClockMs();

struct ReceivedDatagram {
    std::string bytes;
    Arrival arrival;
    uint64_t ticket = 0;  // its place in arrival order, from 0, given as it leaves the queue
};

// What the receive thread did with the datagrams it read, since the client started.
struct ReceiveCounters {
    std::atomic<uint64_t> queued{0};
    std::atomic<uint64_t> empty{0};      // zero-length
    std::atomic<uint64_t> foreign{0};    // without the client's message id
    std::atomic<uint64_t> own{0};        // the client's own requests, heard back
    std::atomic<uint64_t> oversize{0};   // longer than a datagram buffer
    std::atomic<uint64_t> queueFull{0};  // the queue held its limit already
    std::atomic<uint64_t> kernel{0};     // lost in the socket buffer before they were read
};

// Bytes the queue may hold; each datagram counts the bytes it holds on its own plus
// kQueueEntryCost, and every reference that queued datagrams are packed against counts once.
const size_t kReceiveQueueLimit = 32 * 1024 * 1024;
// What a queued datagram costs beyond its bytes: its entry and the allocator's share.
const size_t kQueueEntryCost = 128;
// Datagrams are packed once the queue holds this much: about 700 answers that wait for a
// parsing thread. Below it, packing would only cost the receive thread time.
const size_t kPackAbove = 1024 * 1024;

class CReceiveThread {
public:
    // Starts the receive thread on socket, which stays the caller's and must outlive the
    // receiver; from here on each datagram is read with where it came in. The thread ends
    // when *pStop is non-zero (pWake wakes it) or when the socket fails. messageId: the bytes
    // every answer to this client contains. *pUrgentUntil: until when the thread runs urgent,
    // in UrgentClockMs, looked at each time the thread wakes (the first answer wakes it).
    CReceiveThread(SocketHandle socket, const std::string& messageId, const std::atomic<int>* pStop,
                   const CWakeEvent* pWake, const std::atomic<int64_t>* pUrgentUntil,
                   ReceiveCounters* pCounters, size_t queueLimit = kReceiveQueueLimit);
    // Waits for the thread to end: the owner has set *pStop and then *pWake.
    ~CReceiveThread();
    CReceiveThread(const CReceiveThread&) = delete;
    CReceiveThread& operator=(const CReceiveThread&) = delete;

    // The next datagram in arrival order, with the next ticket, waiting up to timeoutMs. false
    // when none came in time, or at once when the thread has ended (see Ended).
    bool Pop(ReceivedDatagram* pDatagram, int timeoutMs);
    // true once the receive thread has ended (stopped, the socket failed, or it never ran).
    bool Ended();

private:
    void Run();
    // Makes the thread urgent, or normal again, as *m_pUrgentUntil says; the longest wait that
    // keeps it so.
    int FollowUrgency();
    // Keeps what may be an answer to this client in *pBatch, counting what it drops.
    struct QueuedDatagram {
        PackedDatagram packed;
        size_t size;  // unpacked
        Arrival arrival;
    };
    void Sort(const DatagramSlot& slot, std::deque<QueuedDatagram>* pBatch);
    void Push(std::deque<QueuedDatagram>* pBatch);
    void Close();

    CDatagramReader m_reader;  // made before the thread starts: every datagram has its arrival
    const std::string m_messageId;
    const std::atomic<int>* m_pStop;
    const CWakeEvent* m_pWake;
    const std::atomic<int64_t>* m_pUrgentUntil;
    bool m_urgent = false;  // the deadline lay ahead when last looked at
    bool m_raised = false;  // and the system raised the thread
    ReceiveCounters* m_pCounters;
    const size_t m_queueLimit;
    std::vector<char> m_buffer;  // one datagram buffer per message of a read batch
    std::atomic<size_t> m_referenceBytes{0};
    CDatagramPacker m_packer{&m_referenceBytes};  // the receive thread's own

    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::deque<QueuedDatagram> m_queue;
    std::atomic<size_t> m_queueCost{0};  // changed under m_lock; read without it to pack
    uint64_t m_nextTicket = 0;
    bool m_closed = false;
    std::thread m_thread;
};
