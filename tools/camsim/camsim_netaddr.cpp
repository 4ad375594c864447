#include "camsim_netaddr.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace {

// The netlink macros cast in the C way; these helpers do their work with explicit casts and
// copy the records out, so that no misaligned record is read in place.

// Appends a 32-bit attribute to a request of `length` bytes; returns the new length.
size_t AppendAttribute(char* message, size_t length, unsigned short type, uint32_t value) {
    rtattr attribute{};
    attribute.rta_type = type;
    attribute.rta_len = static_cast<unsigned short>(RTA_LENGTH(sizeof value));
    const size_t at = NLMSG_ALIGN(length);
    std::memcpy(message + at, &attribute, sizeof attribute);
    std::memcpy(message + at + RTA_LENGTH(0), &value, sizeof value);
    return at + RTA_ALIGN(attribute.rta_len);
}

// The result the acknowledgement of request seq carries in a reply of size bytes: 0 for
// success, a positive errno value, or -1 when the reply holds no such acknowledgement.
int Acknowledgement(const char* reply, size_t size, uint32_t seq) {
    const size_t headerLength = NLMSG_ALIGN(sizeof(nlmsghdr));
    size_t at = 0;
    while (at + sizeof(nlmsghdr) <= size) {
        nlmsghdr header;
        std::memcpy(&header, reply + at, sizeof header);
        if (header.nlmsg_len < sizeof header || header.nlmsg_len > size - at) {
            return -1;
        }
        if (header.nlmsg_seq == seq && header.nlmsg_type == NLMSG_ERROR &&
            header.nlmsg_len >= headerLength + sizeof(nlmsgerr)) {
            nlmsgerr ack;
            std::memcpy(&ack, reply + at + headerLength, sizeof ack);
            return -ack.error;
        }
        at += NLMSG_ALIGN(header.nlmsg_len);
    }
    return -1;
}

}  // namespace

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
    char* bytes = reinterpret_cast<char*>(&message);
    size_t length = NLMSG_ALIGN(sizeof(nlmsghdr)) + sizeof(ifaddrmsg);
    length = AppendAttribute(bytes, length, IFA_LOCAL, net);
    length = AppendAttribute(bytes, length, IFA_ADDRESS, net);
    if (type == RTM_NEWADDR) {
        length = AppendAttribute(bytes, length, IFA_BROADCAST, broadcast);
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
        int code = Acknowledgement(reply, static_cast<size_t>(got), m_seq);
        if (code < 0) {
            continue;
        }
        if (code == 0 || (type == RTM_NEWADDR && code == EEXIST) ||
            (type == RTM_DELADDR && code == EADDRNOTAVAIL)) {
            return true;
        }
        error = std::string(type == RTM_NEWADDR ? "adding " : "removing ") +
                "address: " + std::strerror(code);
        return false;
    }
}

void EnablePromoteSecondaries(const std::string& iface) {
    std::ofstream("/proc/sys/net/ipv4/conf/" + iface + "/promote_secondaries") << "1\n";
}

std::string OnlyInterface() {
    std::string found;
    int count = 0;
    if (struct if_nameindex* names = if_nameindex()) {
        for (struct if_nameindex* n = names; n->if_index != 0; ++n) {
            if (std::strcmp(n->if_name, "lo") != 0) {
                found = n->if_name;
                ++count;
            }
        }
        if_freenameindex(names);
    }
    return count == 1 ? found : "";
}
