#include "mc_receive.h"

#include <chrono>
#include <string_view>
#include <system_error>

#include "common/common_log.h"
#include "common/common_secret.h"
#include "soap_wire.h"

namespace {

// Datagrams read per call, each into a buffer of the largest datagram.
const int kReadBatch = 32;
// Longest wait for the socket or the stop request; the stop flag is read at least this often.
const int kWaitMs = 3000;

}  // namespace

int64_t UrgentClockMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

CReceiveThread::CReceiveThread(SocketHandle socket, const std::string& messageId,
                               const std::atomic<int>* pStop, const CWakeEvent* pWake,
                               const std::atomic<int64_t>* pUrgentUntil, ReceiveCounters* pCounters,
                               size_t queueLimit)
    : m_reader(socket),
      m_messageId(messageId),
      m_pStop(pStop),
      m_pWake(pWake),
      m_pUrgentUntil(pUrgentUntil),
      m_pCounters(pCounters),
      m_queueLimit(queueLimit),
      m_buffer(kReadBatch * kDatagramSize) {
    try {
        m_thread = std::thread(&CReceiveThread::Run, this);
    } catch (const std::system_error& e) {
        LOG_ERROR("create receive thread failed(errorcode:%d)", e.code().value());
        m_closed = true;
    }
}

CReceiveThread::~CReceiveThread() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CReceiveThread::Run() {
    DatagramSlot slots[kReadBatch];
    for (int i = 0; i < kReadBatch; ++i) {
        slots[i].pData = m_buffer.data() + i * kDatagramSize;
    }
    std::deque<QueuedDatagram> batch;
    while (m_pStop->load() == 0) {
        const int waitMs = FollowUrgency();
        uint64_t kernelLost = 0;
        const int count = m_reader.Read(slots, kReadBatch, &kernelLost);
        if (count < 0) {
            break;
        }
        if (kernelLost != 0) {
            m_pCounters->kernel += kernelLost;
            LOG_WARN_LIMITED("receive buffer full, %lu datagrams lost",
                             static_cast<unsigned long>(kernelLost));
        }
        for (int i = 0; i < count; ++i) {
            Sort(slots[i], &batch);
        }
        if (!batch.empty()) {
            Push(&batch);
        }
        if (count == 0) {
            m_reader.Wait(*m_pWake, waitMs);
        }
    }
    Close();
}

int CReceiveThread::FollowUrgency() {
    const int64_t left = m_pUrgentUntil->load() - UrgentClockMs();
    const bool urgent = left > 0;
    if (urgent != m_urgent) {
        // A refusal is logged and leaves the thread as it was; only a raise that took is undone.
        m_urgent = urgent;
        if (urgent) {
            m_raised = SetThreadUrgent(true);
        } else if (m_raised) {
            m_raised = false;
            SetThreadUrgent(false);
        }
    }
    return urgent && left < kWaitMs ? static_cast<int>(left) : kWaitMs;
}

void CReceiveThread::Sort(const DatagramSlot& slot, std::deque<QueuedDatagram>* pBatch) {
    if (slot.truncated) {
        ++m_pCounters->oversize;
        LOG_WARN_LIMITED("datagram longer than %lu bytes dropped",
                         static_cast<unsigned long>(kDatagramSize));
        return;
    }
    if (slot.size == 0) {
        ++m_pCounters->empty;
        return;
    }
    const std::string_view bytes(slot.pData, slot.size);
    const size_t at = bytes.find(m_messageId);
    if (at == std::string_view::npos) {
        ++m_pCounters->foreign;
        return;
    }
    const std::string_view idStart = SOAP_WIRE_MESSAGE_ID_START;
    if (at >= idStart.size() && bytes.substr(at - idStart.size(), idStart.size()) == idStart) {
        ++m_pCounters->own;
        WipeBytes(slot.pData, slot.size);
        return;
    }
    pBatch->push_back(QueuedDatagram{PackedDatagram(), slot.size, slot.arrival});
    if (m_queueCost.load() + m_referenceBytes.load() > kPackAbove) {
        m_packer.Pack(bytes, &pBatch->back().packed);
    } else {
        KeepWhole(bytes, &pBatch->back().packed);
    }
}

// Appends a batch to the queue, as far as the queue's limit allows.
void CReceiveThread::Push(std::deque<QueuedDatagram>* pBatch) {
    unsigned long dropped = 0;
    size_t droppedBytes = 0;
    {
        // Counted under the lock: whoever takes a datagram sees it counted.
        std::lock_guard<std::mutex> guard(m_lock);
        for (QueuedDatagram& datagram : *pBatch) {
            const size_t cost = PackedSize(datagram.packed) + kQueueEntryCost;
            if (m_queueCost + m_referenceBytes + cost > m_queueLimit) {
                ++dropped;
                droppedBytes += datagram.size;
                continue;
            }
            m_queueCost += cost;
            m_queue.push_back(std::move(datagram));
            ++m_pCounters->queued;
        }
        m_pCounters->queueFull += dropped;
    }
    pBatch->clear();
    m_arrived.notify_one();
    if (dropped != 0) {
        LOG_WARN_LIMITED("receive queue full, %lu datagrams(%lu bytes) dropped", dropped,
                         static_cast<unsigned long>(droppedBytes));
    }
}

void CReceiveThread::Close() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_closed = true;
    }
    m_arrived.notify_all();
}

bool CReceiveThread::Pop(ReceivedDatagram* pDatagram, int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_lock);
    m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [this] { return m_closed || !m_queue.empty(); });
    if (m_closed || m_queue.empty()) {
        return false;
    }
    const QueuedDatagram queued = std::move(m_queue.front());
    m_queue.pop_front();
    m_queueCost -= PackedSize(queued.packed) + kQueueEntryCost;
    pDatagram->arrival = queued.arrival;
    pDatagram->ticket = m_nextTicket++;
    lock.unlock();
    UnpackDatagram(queued.packed, &pDatagram->bytes);
    return true;
}

bool CReceiveThread::Ended() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_closed;
}
