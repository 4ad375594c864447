// The client's socket layer on Linux: BSD sockets, IP_PKTINFO on send and receive, recvmmsg
// in batches and an eventfd for the wake-up.

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/common_error.h"
#include "common/common_log.h"
#include "mc_net.h"

namespace {

const int kMaxBatch = 32;
const size_t kControlSize = CMSG_SPACE(sizeof(in_pktinfo)) + CMSG_SPACE(sizeof(uint32_t));

int Fd(SocketHandle socket) {
    return static_cast<int>(socket);
}

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(address);
    addr.sin_port = htons(port);
    return addr;
}

// Asks for a socket buffer, beyond net.core.[rw]mem_max where the process may, and logs
// what the kernel granted.
void SetBuffer(int fd, int forceOption, int option, int size, const char* pName) {
    if (setsockopt(fd, SOL_SOCKET, forceOption, &size, sizeof(size)) != 0) {
        setsockopt(fd, SOL_SOCKET, option, &size, sizeof(size));
    }
    int granted = 0;
    socklen_t length = sizeof(granted);
    getsockopt(fd, SOL_SOCKET, option, &granted, &length);
    LOG_DEBUG("%s asked(%d) granted(%d)", pName, size, granted);
}

void EnableOption(int fd, int level, int option, const char* pName) {
    const int one = 1;
    if (setsockopt(fd, level, option, &one, sizeof(one)) != 0) {
        LOG_WARN("setsockopt(%s) failed(errno:%d)", pName, errno);
    }
}

// The device name of an address label such as "eth0:1".
std::string DeviceName(const char* pLabel) {
    std::string name = pLabel;
    const size_t colon = name.find(':');
    return colon == std::string::npos ? name : name.substr(0, colon);
}

// Binds a new socket to 0.0.0.0:port without address reuse: the socket, or -1.
int BindExclusive(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        LOG_ERROR("socket failed(errno:%d)", errno);
        return -1;
    }
    const sockaddr_in addr = MakeAddress(INADDR_ANY, port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

CNetworkUse::CNetworkUse() = default;
CNetworkUse::~CNetworkUse() = default;

std::string AddressText(uint32_t address) {
    const in_addr addr{htonl(address)};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &addr, text, sizeof(text));
    return text;
}

int ListInterfaces(std::vector<LocalInterface>* pInterfaces) {
    ifaddrs* pList = nullptr;
    if (getifaddrs(&pList) != 0) {
        LOG_ERROR("getifaddrs failed(errno:%d)", errno);
        return ERR_GENERAL;
    }
    pInterfaces->clear();
    for (ifaddrs* pItem = pList; pItem != nullptr; pItem = pItem->ifa_next) {
        if (pItem->ifa_addr == nullptr || pItem->ifa_addr->sa_family != AF_INET ||
            (pItem->ifa_flags & IFF_UP) == 0) {
            continue;
        }
        LocalInterface item;
        item.address = ntohl(reinterpret_cast<sockaddr_in*>(pItem->ifa_addr)->sin_addr.s_addr);
        if (item.address == INADDR_LOOPBACK) {
            continue;
        }
        item.name = pItem->ifa_name;
        item.index = if_nametoindex(DeviceName(pItem->ifa_name).c_str());
        if (item.index == 0) {
            LOG_WARN("if_nametoindex(%s) failed", pItem->ifa_name);
            continue;
        }
        pInterfaces->push_back(item);
    }
    freeifaddrs(pList);
    return RESULT_OK;
}

int BindClientSocket(SocketHandle* pSocket, uint16_t* pPort) {
    for (int i = 0; i < kPortCount; ++i) {
        const uint16_t port = static_cast<uint16_t>(kDiscoveryPort + i);
        const int fd = BindExclusive(port);
        if (fd < 0) {
            continue;
        }
        LOG_INFO("soap bind ip:port(0:%d) succeed", port);
        SetBuffer(fd, SO_SNDBUFFORCE, SO_SNDBUF, kSocketBufferSize, "send buffer");
        SetBuffer(fd, SO_RCVBUFFORCE, SO_RCVBUF, kSocketBufferSize, "receive buffer");
        EnableOption(fd, SOL_SOCKET, SO_BROADCAST, "SO_BROADCAST");
        const unsigned char ttl = 1;
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof(ttl));
        *pSocket = fd;
        *pPort = port;
        return RESULT_OK;
    }
    LOG_ERROR("soap_bind(ip:%s port:%d..%d) failed", "0.0.0.0", kDiscoveryPort,
              kDiscoveryPort + kPortCount - 1);
    return ERR_SOCKET_BIND;
}

void CloseSocket(SocketHandle socket) {
    close(Fd(socket));
}

void SetReceiveBuffer(SocketHandle socket, int reportedBytes) {
    const int fd = Fd(socket);
    const int asked = reportedBytes / 2;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &asked, sizeof(asked)) != 0) {
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &asked, sizeof(asked));
    }
    int granted = 0;
    socklen_t length = sizeof(granted);
    getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &granted, &length);
    LOG_INFO("receive buffer set(%d) granted(%d)", reportedBytes, granted);
}

int SendDatagram(SocketHandle socket, const char* pData, size_t size, uint32_t address,
                 uint16_t port, const LocalInterface* pInterface) {
    sockaddr_in to = MakeAddress(address, port);
    iovec iov;
    iov.iov_base = const_cast<char*>(pData);
    iov.iov_len = size;
    msghdr msg;
    std::memset(&msg, 0, sizeof(msg));
    msg.msg_name = &to;
    msg.msg_namelen = sizeof(to);
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    if (pInterface != nullptr) {
        std::memset(control, 0, sizeof(control));
        msg.msg_control = control;
        msg.msg_controllen = sizeof(control);
        cmsghdr* pHeader = CMSG_FIRSTHDR(&msg);
        pHeader->cmsg_level = IPPROTO_IP;
        pHeader->cmsg_type = IP_PKTINFO;
        pHeader->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info;
        std::memset(&info, 0, sizeof(info));
        info.ipi_ifindex = static_cast<int>(pInterface->index);
        info.ipi_spec_dst.s_addr = htonl(pInterface->address);
        std::memcpy(CMSG_DATA(pHeader), &info, sizeof(info));
    }
    ssize_t sent = -1;
    do {
        sent = sendmsg(Fd(socket), &msg, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(size)) {
        const int error = errno;
        LOG_ERROR("sendmsg(ip:%s if:%s) failed(errno:%d)", AddressText(address).c_str(),
                  pInterface != nullptr ? pInterface->name.c_str() : "-", error);
        return ERR_IO;
    }
    return RESULT_OK;
}

CWakeEvent::CWakeEvent() : m_handle(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_handle < 0) {
        LOG_ERROR("eventfd failed(errno:%d)", errno);
    }
}

CWakeEvent::~CWakeEvent() {
    if (m_handle >= 0) {
        close(static_cast<int>(m_handle));
    }
}

void CWakeEvent::Set() {
    const uint64_t one = 1;
    if (m_handle >= 0 && write(static_cast<int>(m_handle), &one, sizeof(one)) < 0) {
        LOG_WARN("wake of the receive loop failed(errno:%d)", errno);
    }
}

void CWakeEvent::Wait(int timeoutMs) const {
    pollfd item = {static_cast<int>(m_handle), POLLIN, 0};
    poll(&item, m_handle >= 0 ? 1 : 0, timeoutMs);
}

bool SetThreadUrgent(bool urgent) {
    sched_param param{};
    param.sched_priority = urgent ? sched_get_priority_min(SCHED_FIFO) : 0;
    const int rc = pthread_setschedparam(pthread_self(), urgent ? SCHED_FIFO : SCHED_OTHER, &param);
    if (rc != 0) {
        LOG_WARN_LIMITED("thread priority(urgent:%d) refused(errno:%d)", urgent ? 1 : 0, rc);
        return false;
    }
    return true;
}

// Names of interface indexes, looked up once per burst of datagrams.
struct CDatagramReader::Impl {
    struct Name {
        unsigned int index = 0;
        char text[IF_NAMESIZE] = {};
    };
    int fd = -1;
    uint32_t kernelDrops = 0;  // the socket's drop count as last seen
    std::vector<Name> names;

    const char* NameOf(unsigned int index) {
        for (const Name& name : names) {
            if (name.index == index) {
                return name.text;
            }
        }
        Name name;
        name.index = index;
        if (if_indextoname(index, name.text) == nullptr) {
            LOG_WARN_LIMITED("if_indextoname(%u) failed(errno:%d)", index, errno);
            name.text[0] = '\0';
        }
        names.push_back(name);
        return names.back().text;
    }

    // Reads the arrival and the drop count from a message's control data.
    void ReadControl(msghdr* pHeader, Arrival* pArrival, uint64_t* pKernelLost) {
        for (cmsghdr* pItem = CMSG_FIRSTHDR(pHeader); pItem != nullptr;
             pItem = CMSG_NXTHDR(pHeader, pItem)) {
            if (pItem->cmsg_level == IPPROTO_IP && pItem->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(pItem), sizeof(info));
                std::snprintf(pArrival->interfaceName, sizeof(pArrival->interfaceName), "%s",
                              NameOf(static_cast<unsigned int>(info.ipi_ifindex)));
                pArrival->localAddress = ntohl(info.ipi_spec_dst.s_addr);
            } else if (pItem->cmsg_level == SOL_SOCKET && pItem->cmsg_type == SO_RXQ_OVFL) {
                uint32_t drops = 0;
                std::memcpy(&drops, CMSG_DATA(pItem), sizeof(drops));
                *pKernelLost += drops - kernelDrops;
                kernelDrops = drops;
            }
        }
    }
};

CDatagramReader::CDatagramReader(SocketHandle socket) : m_pImpl(new Impl) {
    static_assert(sizeof(Arrival::interfaceName) == IF_NAMESIZE, "an interface name fits");
    m_pImpl->fd = Fd(socket);
    EnableOption(m_pImpl->fd, IPPROTO_IP, IP_PKTINFO, "IP_PKTINFO");
    EnableOption(m_pImpl->fd, SOL_SOCKET, SO_RXQ_OVFL, "SO_RXQ_OVFL");
}

CDatagramReader::~CDatagramReader() = default;

int CDatagramReader::Read(DatagramSlot* pSlots, int count, uint64_t* pKernelLost) {
    *pKernelLost = 0;
    count = count < kMaxBatch ? count : kMaxBatch;
    mmsghdr messages[kMaxBatch];
    iovec vectors[kMaxBatch];
    sockaddr_in sources[kMaxBatch];
    alignas(cmsghdr) char controls[kMaxBatch][kControlSize];
    for (int i = 0; i < count; ++i) {
        vectors[i].iov_base = pSlots[i].pData;
        vectors[i].iov_len = kDatagramSize;
        messages[i] = mmsghdr();
        messages[i].msg_hdr.msg_name = &sources[i];
        messages[i].msg_hdr.msg_namelen = sizeof(sources[i]);
        messages[i].msg_hdr.msg_iov = &vectors[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        messages[i].msg_hdr.msg_control = controls[i];
        messages[i].msg_hdr.msg_controllen = kControlSize;
    }
    const int read =
        recvmmsg(m_pImpl->fd, messages, static_cast<unsigned int>(count), MSG_DONTWAIT, nullptr);
    if (read < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            return 0;
        }
        LOG_ERROR("recvmmsg failed(errno:%d)", errno);
        return -1;
    }
    for (int i = 0; i < read; ++i) {
        DatagramSlot& slot = pSlots[i];
        slot.arrival = Arrival();
        m_pImpl->ReadControl(&messages[i].msg_hdr, &slot.arrival, pKernelLost);
        slot.size = messages[i].msg_len;
        slot.truncated = (messages[i].msg_hdr.msg_flags & MSG_TRUNC) != 0;
        slot.arrival.sourceAddress = ntohl(sources[i].sin_addr.s_addr);
        slot.arrival.sourcePort = ntohs(sources[i].sin_port);
    }
    return read;
}

void CDatagramReader::Wait(const CWakeEvent& wake, int timeoutMs) {
    m_pImpl->names.clear();
    pollfd items[2] = {{m_pImpl->fd, POLLIN, 0}, {static_cast<int>(wake.Handle()), POLLIN, 0}};
    poll(items, wake.Handle() >= 0 ? 2 : 1, timeoutMs);
}
