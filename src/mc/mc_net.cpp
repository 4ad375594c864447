#include "mc_net.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/common_error.h"
#include "common/common_log.h"

namespace {

// Asks for a socket buffer, beyond net.core.[rw]mem_max where the process may, and logs
// what the kernel granted.
void SetBuffer(int fd, int forceOption, int option, const char* pName) {
    const int size = kSocketBufferSize;
    if (setsockopt(fd, SOL_SOCKET, forceOption, &size, sizeof(size)) != 0) {
        setsockopt(fd, SOL_SOCKET, option, &size, sizeof(size));
    }
    int granted = 0;
    socklen_t length = sizeof(granted);
    getsockopt(fd, SOL_SOCKET, option, &granted, &length);
    LOG_DEBUG("%s asked(%d) granted(%d)", pName, size, granted);
}

// The device name of an address label such as "eth0:1".
std::string DeviceName(const char* pLabel) {
    std::string name = pLabel;
    const size_t colon = name.find(':');
    return colon == std::string::npos ? name : name.substr(0, colon);
}

}  // namespace

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(address);
    addr.sin_port = htons(port);
    return addr;
}

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
        if (pItem->ifa_addr == nullptr || pItem->ifa_addr->sa_family != AF_INET) {
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

int SelectPort(uint16_t* pPort) {
    for (int i = 0; i < kPortCount; ++i) {
        const uint16_t port = static_cast<uint16_t>(kDiscoveryPort + i);
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            LOG_ERROR("socket failed(errno:%d)", errno);
            return ERR_SYSTEM;
        }
        const sockaddr_in addr = MakeAddress(INADDR_ANY, port);
        const int rc = bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
        close(fd);
        if (rc == 0) {
            LOG_INFO("soap bind ip:port(0:%d) succeed", port);
            *pPort = port;
            return RESULT_OK;
        }
    }
    return ERR_NOT_FOUND;
}

int BindPlain(uint16_t port, int* pFd) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        LOG_ERROR("socket failed(errno:%d)", errno);
        return ERR_SOCKET_BIND;
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    const sockaddr_in addr = MakeAddress(INADDR_ANY, port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
        LOG_ERROR("soap_bind(ip:%s port:%d) failed", "0.0.0.0", port);
        close(fd);
        return ERR_SOCKET_BIND;
    }
    SetBuffer(fd, SO_SNDBUFFORCE, SO_SNDBUF, "send buffer");
    SetBuffer(fd, SO_RCVBUFFORCE, SO_RCVBUF, "receive buffer");
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof(one));
    const unsigned char ttl = 1;
    setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof(ttl));
    *pFd = fd;
    return RESULT_OK;
}

int SendDatagram(int fd, const char* pData, size_t size, const sockaddr_in& dest,
                 const LocalInterface* pInterface) {
    sockaddr_in to = dest;
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
        sent = sendmsg(fd, &msg, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(size)) {
        const int error = errno;
        LOG_ERROR("sendmsg(ip:%s if:%s) failed(errno:%d)",
                  AddressText(ntohl(dest.sin_addr.s_addr)).c_str(),
                  pInterface != nullptr ? pInterface->name.c_str() : "-", error);
        errno = error;
        return ERR_IO;
    }
    return RESULT_OK;
}
