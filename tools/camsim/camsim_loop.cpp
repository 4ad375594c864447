#include "camsim_loop.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

constexpr uint32_t kMulticastGroup = 0xEFFFFFFA;  // 239.255.255.250

}  // namespace

Simulator::Simulator(const Options& options, std::vector<Device> fleet)
    : m_options(options), m_policy(std::move(fleet), options.fleet.seed, *this) {}

Simulator::~Simulator() {
    if (m_socket >= 0) {
        close(m_socket);
    }
    if (m_signals >= 0) {
        close(m_signals);
    }
}

bool Simulator::Start(std::string& error) {
    m_ifindex = static_cast<int>(if_nametoindex(m_options.iface.c_str()));
    if (m_ifindex == 0) {
        error = "no interface " + m_options.iface;
        return false;
    }
    return BlockSignals(error) && AddAddresses(error) && OpenSocket(error);
}

void Simulator::Run() {
    for (;;) {
        pollfd fds[2] = {{m_signals, POLLIN, 0}, {m_socket, POLLIN, 0}};
        int timeout = -1;
        if (!m_queue.empty()) {
            auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(m_queue.top().due -
                                                                              Clock::now());
            timeout = wait.count() < 0 ? 0 : static_cast<int>(wait.count()) + 1;
        }
        if (poll(fds, 2, timeout) < 0 && errno != EINTR) {
            std::perror("camsim: poll");
            return;
        }
        if ((fds[0].revents & POLLIN) && !HandleSignal()) {
            return;
        }
        if (fds[1].revents & POLLIN) {
            ReceiveAll();
        }
        SendDue();
    }
}

void Simulator::PrintStats() const {
    const PolicyStats& s = m_policy.Stats();
    std::printf(
        "camsim stats: received=%llu probes=%llu korvane_probes=%llu config=%llu "
        "ignored=%llu answers=%llu matches=%llu datagrams=%llu send_errors=%llu moves=%llu "
        "dropped=%llu\n",
        s.received, s.probes, s.korvaneProbes, s.config, s.ignored, s.answers, s.matches,
        m_datagrams, m_sendErrors, s.moves, s.dropped);
    std::fflush(stdout);
}

void Simulator::RemoveAddresses() {
    if (!m_options.manageAddresses) {
        return;
    }
    std::string error;
    for (const auto& address : m_policy.Addresses()) {
        if (!m_addresses.Remove(address.first, address.second, error)) {
            std::cerr << "camsim: " << error << "\n";
        }
    }
}

bool Simulator::IsLocalAddress(uint32_t ip) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return false;
    }
    bool found = false;
    for (ifaddrs* a = list; a && !found; a = a->ifa_next) {
        if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET) {
            found = ntohl(reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr) == ip;
        }
    }
    freeifaddrs(list);
    return found;
}

bool Simulator::AddAddress(uint32_t ip, uint32_t prefix) {
    std::string error;
    if (m_options.manageAddresses && !m_addresses.Add(ip, prefix, error)) {
        std::cerr << "camsim: " << IpText(ip) << ": " << error << "\n";
        return false;
    }
    return true;
}

bool Simulator::BlockSignals(std::string& error) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGUSR1);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    m_signals = signalfd(-1, &set, SFD_CLOEXEC);
    if (m_signals < 0) {
        error = std::string("signalfd: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool Simulator::AddAddresses(std::string& error) {
    if (!m_options.manageAddresses) {
        return true;
    }
    if (!m_addresses.Open(m_ifindex, error)) {
        return false;
    }
    EnablePromoteSecondaries(m_options.iface);
    for (const auto& address : m_policy.Addresses()) {
        if (!m_addresses.Add(address.first, address.second, error)) {
            error = IpText(address.first) + ": " + error;
            return false;
        }
    }
    return true;
}

bool Simulator::OpenSocket(std::string& error) {
    m_socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int on = 1;
    int big = 8 << 20;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(m_options.port);
    ip_mreqn group{};
    group.imr_multiaddr.s_addr = htonl(kMulticastGroup);
    group.imr_ifindex = m_ifindex;
    int off = 0;
    const char* step = nullptr;
    if (m_socket < 0) {
        step = "socket";
    } else if (setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        step = "SO_REUSEADDR";
    } else if (setsockopt(m_socket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        step = "SO_BROADCAST";
    } else if (setsockopt(m_socket, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
        step = "IP_PKTINFO";
    } else if (bind(m_socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        step = "bind";
    } else if (setsockopt(m_socket, IPPROTO_IP, IP_ADD_MEMBERSHIP, &group, sizeof group) != 0) {
        step = "IP_ADD_MEMBERSHIP";
    } else if (setsockopt(m_socket, IPPROTO_IP, IP_MULTICAST_LOOP, &off, sizeof off) != 0) {
        step = "IP_MULTICAST_LOOP";
    }
    if (step) {
        error = std::string(step) + ": " + std::strerror(errno);
        return false;
    }
    // Large buffers absorb a burst of probes and of answers; the forced form ignores
    // the system's cap when allowed, the plain form is the fallback.
    if (setsockopt(m_socket, SOL_SOCKET, SO_RCVBUFFORCE, &big, sizeof big) != 0) {
        setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    }
    if (setsockopt(m_socket, SOL_SOCKET, SO_SNDBUFFORCE, &big, sizeof big) != 0) {
        setsockopt(m_socket, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    }
    return true;
}

bool Simulator::HandleSignal() {
    signalfd_siginfo info{};
    if (read(m_signals, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) {
        return true;
    }
    PrintStats();
    return info.ssi_signo == SIGUSR1;
}

void Simulator::ReceiveAll() {
    static char buffer[65536];
    for (;;) {
        sockaddr_in from{};
        iovec iov{buffer, sizeof buffer};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        ssize_t got = recvmsg(m_socket, &msg, MSG_DONTWAIT);
        if (got < 0) {
            return;
        }
        uint32_t destination = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                destination = ntohl(info.ipi_addr.s_addr);
            }
        }
        Peer requester{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
        for (Answer& answer :
             m_policy.OnDatagram(buffer, static_cast<size_t>(got), requester, destination)) {
            Schedule(std::move(answer));
        }
    }
}

void Simulator::Schedule(Answer answer) {
    Queued queued;
    queued.due = Clock::now() + std::chrono::milliseconds(answer.delayMs);
    const uint32_t copies = answer.copies;
    queued.answer = std::move(answer);
    for (uint32_t copy = 1; copy <= copies; ++copy) {
        queued.order = ++m_order;
        queued.last = copy == copies;
        if (queued.last) {
            m_queue.push(std::move(queued));
        } else {
            m_queue.push(queued);
        }
    }
}

void Simulator::SendDue() {
    auto now = Clock::now();
    while (!m_queue.empty() && m_queue.top().due <= now) {
        Send(m_queue.top());
        m_queue.pop();
    }
}

void Simulator::Send(const Queued& queued) {
    const Answer& answer = queued.answer;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(answer.to.ip);
    to.sin_port = htons(answer.to.port);
    iovec iov{const_cast<char*>(answer.payload.data()), answer.payload.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr msg{};
    msg.msg_name = &to;
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst.s_addr = htonl(answer.from);
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
    // The socket blocks on sending: a full buffer slows the answers down, never drops them.
    if (sendmsg(m_socket, &msg, 0) < 0) {
        ++m_sendErrors;
        if (m_sendErrors <= 10) {
            std::cerr << "camsim: send from " << IpText(answer.from) << ": " << std::strerror(errno)
                      << "\n";
        }
    } else {
        ++m_datagrams;
    }
    // A moved device's old address goes once the last copy has left from it, unless a
    // device has taken it again meanwhile.
    std::string error;
    if (queued.last && answer.removeAfter && m_options.manageAddresses &&
        !m_policy.Occupied(answer.removeAfter) &&
        !m_addresses.Remove(answer.removeAfter, answer.removePrefix, error)) {
        std::cerr << "camsim: " << error << "\n";
    }
}
