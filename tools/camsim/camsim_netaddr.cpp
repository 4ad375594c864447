#include "camsim_netaddr.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

AddressTable::~AddressTable() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool AddressTable::Open(int ifindex, std::string& error) {
    m_fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (m_fd < 0) {
        error = std::string("netlink socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    if (bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        error = std::string("netlink bind: ") + std::strerror(errno);
        return false;
    }
    m_ifindex = ifindex;
    return true;
}

bool AddressTable::Add(uint32_t ip, uint32_t prefix, std::string& error) {
    return Request(RTM_NEWADDR, NLM_F_CREATE | NLM_F_EXCL, ip, prefix, error);
}

bool AddressTable::Remove(uint32_t ip, uint32_t prefix, std::string& error) {
    return Request(RTM_DELADDR, 0, ip, prefix, error);
}

bool AddressTable::Request(int type, int flags, uint32_t ip, uint32_t prefix, std::string& error) {
    struct {
        nlmsghdr header;
        ifaddrmsg ifa;
        char attributes[64];
    } message{};
    message.header.nlmsg_type = static_cast<uint16_t>(type);
    message.header.nlmsg_flags = static_cast<uint16_t>(NLM_F_REQUEST | NLM_F_ACK | flags);
    message.header.nlmsg_seq = ++m_seq;
    message.ifa.ifa_family = AF_INET;
    message.ifa.ifa_prefixlen = static_cast<unsigned char>(prefix);
    message.ifa.ifa_index = static_cast<unsigned>(m_ifindex);
    message.ifa.ifa_scope = RT_SCOPE_UNIVERSE;
    uint32_t net = htonl(ip);
    uint32_t broadcast = prefix >= 31 ? net : htonl(ip | (0xFFFFFFFFu >> prefix));
    size_t length = NLMSG_LENGTH(sizeof(ifaddrmsg));
    const struct {
        unsigned short type;
        uint32_t value;
    } attrs[] = {{IFA_LOCAL, net}, {IFA_ADDRESS, net}, {IFA_BROADCAST, broadcast}};
    for (const auto& a : attrs) {
        if (type == RTM_DELADDR && a.type == IFA_BROADCAST) {
            continue;
        }
        auto* rta =
            reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&message) + NLMSG_ALIGN(length));
        rta->rta_type = a.type;
        rta->rta_len = RTA_LENGTH(sizeof(uint32_t));
        std::memcpy(RTA_DATA(rta), &a.value, sizeof(uint32_t));
        length = NLMSG_ALIGN(length) + RTA_ALIGN(rta->rta_len);
    }
    message.header.nlmsg_len = static_cast<uint32_t>(length);
    if (send(m_fd, &message, length, 0) < 0) {
        error = std::string("netlink send: ") + std::strerror(errno);
        return false;
    }
    char reply[4096];
    for (;;) {
        ssize_t got = recv(m_fd, reply, sizeof reply, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = std::string("netlink recv: ") + std::strerror(errno);
            return false;
        }
        auto* h = reinterpret_cast<nlmsghdr*>(reply);
        for (; NLMSG_OK(h, static_cast<unsigned>(got)); h = NLMSG_NEXT(h, got)) {
            if (h->nlmsg_seq != m_seq || h->nlmsg_type != NLMSG_ERROR) {
                continue;
            }
            int code = -reinterpret_cast<nlmsgerr*>(NLMSG_DATA(h))->error;
            if (code == 0 || (type == RTM_NEWADDR && code == EEXIST) ||
                (type == RTM_DELADDR && code == EADDRNOTAVAIL)) {
                return true;
            }
            error = std::string(type == RTM_NEWADDR ? "adding " : "removing ") +
                    "address: " + std::strerror(code);
            return false;
        }
    }
}

void EnablePromoteSecondaries(const std::string& iface) {
    std::ofstream("/proc/sys/net/ipv4/conf/" + iface + "/promote_secondaries") << "1\n";
}
