#include "mc_receive.h"

#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "common/common_log.h"

namespace {

// Datagrams read per system call, each into a buffer of the largest datagram.
const int kReadBatch = 32;
const size_t kDatagramSize = 65536;
// Longest wait for the socket or the stop request; the stop flag is read at least this often.
const int kPollMs = 3000;
const size_t kControlSize = CMSG_SPACE(sizeof(in_pktinfo)) + CMSG_SPACE(sizeof(uint32_t));

void EnableOption(int fd, int level, int option, const char* pName) {
    const int one = 1;
    if (setsockopt(fd, level, option, &one, sizeof(one)) != 0) {
        LOG_WARN("setsockopt(%s) failed(errno:%d)", pName, errno);
    }
}

}  // namespace

void SetReceiveBuffer(int fd, int reportedBytes) {
    const int asked = reportedBytes / 2;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &asked, sizeof(asked)) != 0) {
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &asked, sizeof(asked));
    }
    int granted = 0;
    socklen_t length = sizeof(granted);
    getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &granted, &length);
    LOG_INFO("receive buffer set(%d) granted(%d)", reportedBytes, granted);
}

// Names of interface indexes, looked up once per burst of datagrams: the cache is emptied
// whenever the socket is, so a renamed interface shows its new name in the next burst.
class CReceiveThread::CInterfaceNames {
public:
    const char* Name(unsigned int index) {
        for (const Entry& entry : m_entries) {
            if (entry.index == index) {
                return entry.name;
            }
        }
        Entry entry;
        entry.index = index;
        if (if_indextoname(index, entry.name) == nullptr) {
            LOG_WARN_LIMITED("if_indextoname(%u) failed(errno:%d)", index, errno);
            entry.name[0] = '\0';
        }
        m_entries.push_back(entry);
        return m_entries.back().name;
    }
    void Forget() { m_entries.clear(); }

private:
    struct Entry {
        unsigned int index = 0;
        char name[IF_NAMESIZE] = {};
    };
    std::vector<Entry> m_entries;
};

CReceiveThread::CReceiveThread(int fd, const std::string& messageId, const std::atomic<int>* pStop,
                               int stopFd, ReceiveCounters* pCounters, size_t queueLimit)
    : m_fd(fd),
      m_messageId(messageId),
      m_pStop(pStop),
      m_stopFd(stopFd),
      m_pCounters(pCounters),
      m_queueLimit(queueLimit),
      m_buffer(kReadBatch * kDatagramSize) {
    static_assert(sizeof(Arrival::interfaceName) == IF_NAMESIZE, "an interface name fits");
    EnableOption(fd, IPPROTO_IP, IP_PKTINFO, "IP_PKTINFO");
    EnableOption(fd, SOL_SOCKET, SO_RXQ_OVFL, "SO_RXQ_OVFL");
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
    CInterfaceNames names;
    std::deque<ReceivedDatagram> batch;
    pollfd items[2] = {{m_fd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
    while (m_pStop->load() == 0) {
        if (!Drain(&names, &batch)) {
            break;
        }
        if (!batch.empty()) {
            Push(&batch);
            continue;
        }
        names.Forget();
        poll(items, m_stopFd >= 0 ? 2 : 1, kPollMs);
    }
    Close();
}

// Reads one batch without waiting and keeps what may be an answer to this client in *pBatch
// (empty when the socket was). false when the socket failed.
bool CReceiveThread::Drain(CInterfaceNames* pNames, std::deque<ReceivedDatagram>* pBatch) {
    mmsghdr messages[kReadBatch];
    iovec vectors[kReadBatch];
    sockaddr_in sources[kReadBatch];
    alignas(cmsghdr) char controls[kReadBatch][kControlSize];
    for (int i = 0; i < kReadBatch; ++i) {
        vectors[i].iov_base = m_buffer.data() + i * kDatagramSize;
        vectors[i].iov_len = kDatagramSize;
        messages[i] = mmsghdr();
        messages[i].msg_hdr.msg_name = &sources[i];
        messages[i].msg_hdr.msg_namelen = sizeof(sources[i]);
        messages[i].msg_hdr.msg_iov = &vectors[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        messages[i].msg_hdr.msg_control = controls[i];
        messages[i].msg_hdr.msg_controllen = kControlSize;
    }
    const int count = recvmmsg(m_fd, messages, kReadBatch, MSG_DONTWAIT, nullptr);
    if (count < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            return true;
        }
        LOG_ERROR("recvmmsg failed(errno:%d)", errno);
        return false;
    }
    for (int i = 0; i < count; ++i) {
        msghdr& header = messages[i].msg_hdr;
        Arrival arrival;
        for (cmsghdr* pItem = CMSG_FIRSTHDR(&header); pItem != nullptr;
             pItem = CMSG_NXTHDR(&header, pItem)) {
            if (pItem->cmsg_level == IPPROTO_IP && pItem->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(pItem), sizeof(info));
                std::snprintf(arrival.interfaceName, sizeof(arrival.interfaceName), "%s",
                              pNames->Name(static_cast<unsigned int>(info.ipi_ifindex)));
                arrival.localAddress = ntohl(info.ipi_spec_dst.s_addr);
            } else if (pItem->cmsg_level == SOL_SOCKET && pItem->cmsg_type == SO_RXQ_OVFL) {
                uint32_t drops = 0;
                std::memcpy(&drops, CMSG_DATA(pItem), sizeof(drops));
                if (drops != m_kernelDrops) {
                    const uint32_t lost = drops - m_kernelDrops;
                    m_kernelDrops = drops;
                    m_pCounters->kernel += lost;
                    LOG_WARN_LIMITED("receive buffer full, %u datagrams lost", lost);
                }
            }
        }
        const size_t size = messages[i].msg_len;
        const char* pData = static_cast<const char*>(vectors[i].iov_base);
        if ((header.msg_flags & MSG_TRUNC) != 0) {
            ++m_pCounters->oversize;
            LOG_WARN_LIMITED("datagram longer than %lu bytes dropped",
                             static_cast<unsigned long>(kDatagramSize));
            continue;
        }
        if (size == 0) {
            ++m_pCounters->empty;
            continue;
        }
        if (memmem(pData, size, m_messageId.data(), m_messageId.size()) == nullptr) {
            ++m_pCounters->foreign;
            continue;
        }
        arrival.sourceAddress = ntohl(sources[i].sin_addr.s_addr);
        arrival.sourcePort = ntohs(sources[i].sin_port);
        pBatch->push_back(ReceivedDatagram{std::string(pData, size), arrival});
    }
    return true;
}

// Appends a batch to the queue, as far as the queue's limit allows.
void CReceiveThread::Push(std::deque<ReceivedDatagram>* pBatch) {
    unsigned long dropped = 0;
    size_t droppedBytes = 0;
    {
        // Counted under the lock: whoever takes a datagram sees it counted.
        std::lock_guard<std::mutex> guard(m_lock);
        for (ReceivedDatagram& datagram : *pBatch) {
            const size_t cost = datagram.bytes.size() + kQueueEntryCost;
            if (m_queueCost + cost > m_queueLimit) {
                ++dropped;
                droppedBytes += datagram.bytes.size();
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
    *pDatagram = std::move(m_queue.front());
    m_queue.pop_front();
    m_queueCost -= pDatagram->bytes.size() + kQueueEntryCost;
    return true;
}

bool CReceiveThread::Ended() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_closed;
}
