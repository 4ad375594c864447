// camflood: a hostile sender on a camera LAN, for the tests and benchmarks of the client under
// floods (see camflood --help). A process of its own beside camsim, as an attacker is a host
// of its own: the simulated cameras keep their pace and figures while it floods.

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "camflood_flood.h"
#include "camsim_netaddr.h"
#include "camsim_options.h"
#include "camsim_policy.h"
#include "camsim_wire.h"

namespace {

const char kUsage[] = R"USAGE(usage: camflood (--learn | --to IP:PORT) [options]

Floods a discovery client with hostile datagrams: fake tns:ProbeMatches that relate to the
client's own probe (each one lists many made-up devices), zero-length datagrams, and large
well-formed envelopes that relate to no client. For tests and benchmarks of a hostile LAN.

Sends discovery traffic: run it only inside a network namespace made for testing
(see scripts/vlan), or towards 127.0.0.1.

Target:
  --learn            listen for probes as every host of the segment sees them (tns:Probe or
                     tns:KorvaneProbe sent to 239.255.255.250 or 255.255.255.255, port
                     --port) and flood the sender of each, relating to its MessageID; a probe
                     with another MessageID or sender starts a new flood towards it, one of a
                     search already flooded (same MessageID and sender) is left alone
  --iface NAME       interface to listen on with --learn (default: the only one besides lo)
  --port N           port of the probes to learn from (default 3702)
  --to IP:PORT       flood this address at once, and end when the flood ends
  --relates-to ID    the MessageID that fake matches relate to with --to
                     (default urn:uuid:00000000-0000-4000-8000-000000000000)

Datagrams:
  --kind LIST        comma-separated kinds, sent in turn (default matches):
                       matches  tns:ProbeMatches of --matches made-up devices, new ones in
                                every datagram (addresses from 10.0.0.1 up; XAddrs and one
                                scope each: what the client needs to list a device)
                       empty    a zero-length datagram
                       junk     a well-formed tns:ProbeMatches of exactly --junk-size bytes
                                relating to no client (made-up matches, padded with blanks)
  --matches N        made-up devices per matches datagram (default 800, at most what always
                     fits in one datagram: see the usage error)
  --junk-size BYTES  size of a junk datagram (default 60000, at most 65507)

Pace:
  --rate N           datagrams per second (default 1000; 0: as fast as the socket takes them)
  --duration MS      length of each flood in milliseconds (default 3000)
  --total N          end each flood after N datagrams (default: no limit)

Output: "camflood ready: learning on IFACE port P" or "camflood ready: flooding IP:PORT" on
stdout, then for each flood once it ends (or at SIGTERM/SIGINT):
  camflood flood: to=IP:PORT relates_to=ID sent=N matches=N empty=N junk=N fake_devices=N
                  bytes=N seconds=S rate=R mbit=M send_errors=N
(sent counts datagrams, by kind; rate is datagrams per second and mbit the payload rate, both
from the first to the last datagram of the flood). Exit status 0 after a signal or at the end
of a --to flood, 1 on a start failure, 2 on a usage error.
)USAGE";

constexpr uint32_t kMulticastGroup = 0xEFFFFFFA;  // 239.255.255.250
constexpr uint32_t kLimitedBroadcast = 0xFFFFFFFF;
constexpr size_t kBatch = 64;  // datagrams handed to the kernel at once

struct FloodOptions {
    bool learn = false;
    Peer to;
    std::string relatesTo = "urn:uuid:00000000-0000-4000-8000-000000000000";
    std::string iface;
    uint16_t port = 3702;
    FloodContent content;
    uint32_t rate = 1000;
    uint32_t durationMs = 3000;
    unsigned long long total = 0;
};

int FloodUsageError(const std::string& message) {
    std::cerr << "camflood: " << message << "\n(see camflood --help)\n";
    return 2;
}

bool ParsePeer(const std::string& text, Peer& peer) {
    size_t colon = text.rfind(':');
    uint64_t port = 0;
    if (colon == std::string::npos || !ParseIp(text.substr(0, colon), peer.ip) ||
        !ParseNumber(text.c_str() + colon + 1, 65535, port) || port == 0) {
        return false;
    }
    peer.port = static_cast<uint16_t>(port);
    return true;
}

// Returns -1 to go on, otherwise the exit status.
int ParseFloodOptions(int argc, char** argv, FloodOptions& o) {
    bool haveTo = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--learn") {
            o.learn = true;
            continue;
        }
        if (i + 1 >= argc) {
            return FloodUsageError("missing value or unknown option " + arg);
        }
        const char* v = argv[++i];
        uint64_t n = 0;
        bool ok = true;
        if (arg == "--to") {
            ok = haveTo = ParsePeer(v, o.to);
        } else if (arg == "--relates-to") {
            o.relatesTo = v;
        } else if (arg == "--iface") {
            o.iface = v;
        } else if (arg == "--port") {
            ok = ParseNumber(v, 65535, n) && n != 0;
            o.port = static_cast<uint16_t>(n);
        } else if (arg == "--kind") {
            ok = ParseKinds(v, o.content.kinds);
        } else if (arg == "--matches") {
            ok = ParseNumber(v, MaxFakeMatches(), n) && n != 0;
            o.content.matches = static_cast<uint32_t>(n);
            if (!ok) {
                return FloodUsageError("--matches takes 1 to " + std::to_string(MaxFakeMatches()));
            }
        } else if (arg == "--junk-size") {
            ok = ParseNumber(v, kMaxDatagram, n) && n >= MinJunkSize();
            o.content.junkSize = static_cast<uint32_t>(n);
            if (!ok) {
                return FloodUsageError("--junk-size takes " + std::to_string(MinJunkSize()) +
                                       " to " + std::to_string(kMaxDatagram));
            }
        } else if (arg == "--rate") {
            ok = ParseNumber(v, UINT32_MAX, n);
            o.rate = static_cast<uint32_t>(n);
        } else if (arg == "--duration") {
            ok = ParseNumber(v, UINT32_MAX, n);
            o.durationMs = static_cast<uint32_t>(n);
        } else if (arg == "--total") {
            ok = ParseNumber(v, UINT64_MAX, n);
            o.total = n;
        } else {
            return FloodUsageError("unknown option " + arg);
        }
        if (!ok) {
            return FloodUsageError("bad " + arg + " '" + v + "'");
        }
    }
    if (o.learn == haveTo) {
        return FloodUsageError("give either --learn or --to IP:PORT");
    }
    return -1;
}

std::string PeerText(const Peer& peer) {
    return IpText(peer.ip) + ":" + std::to_string(peer.port);
}

// A socket bound to address:port beside camsim's (both allow address reuse) that receives
// only what is sent to that multicast or broadcast address.
int OpenLearner(uint32_t address, uint16_t port, int ifindex, std::string& error) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int on = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    local.sin_port = htons(port);
    ip_mreqn group{};
    group.imr_multiaddr.s_addr = htonl(address);
    group.imr_ifindex = ifindex;
    const char* step = nullptr;
    if (fd < 0) {
        step = "socket";
    } else if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        step = "SO_REUSEADDR";
    } else if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        step = "bind";
    } else if (address == kMulticastGroup &&
               setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &group, sizeof group) != 0) {
        step = "IP_ADD_MEMBERSHIP";
    }
    if (step) {
        error = std::string(step) + " " + IpText(address) + ": " + std::strerror(errno);
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    return fd;
}

int OpenSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    return signalfd(-1, &set, SFD_CLOEXEC);
}

class Flooder {
public:
    explicit Flooder(const FloodOptions& options) : m_options(options) {}
    ~Flooder() {
        for (int fd : {m_sender, m_signals, m_learners[0], m_learners[1]}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }
    Flooder(const Flooder&) = delete;
    Flooder& operator=(const Flooder&) = delete;

    bool Start(std::string& error) {
        m_signals = OpenSignals();
        m_sender = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (m_signals < 0 || m_sender < 0) {
            error = std::string("socket: ") + std::strerror(errno);
            return false;
        }
        // A large send buffer keeps bursts going; the forced form ignores the system's cap.
        int big = 8 << 20;
        if (setsockopt(m_sender, SOL_SOCKET, SO_SNDBUFFORCE, &big, sizeof big) != 0) {
            setsockopt(m_sender, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
        }
        if (!m_options.learn) {
            StartFlood(m_options.to, m_options.relatesTo);
            return true;
        }
        int ifindex = static_cast<int>(if_nametoindex(m_options.iface.c_str()));
        if (ifindex == 0) {
            error = "no interface " + m_options.iface;
            return false;
        }
        m_learners[0] = OpenLearner(kMulticastGroup, m_options.port, ifindex, error);
        m_learners[1] =
            m_learners[0] < 0 ? -1 : OpenLearner(kLimitedBroadcast, m_options.port, ifindex, error);
        return m_learners[1] >= 0;
    }

    // Floods until the --to flood ends or a signal comes.
    void Run() {
        for (;;) {
            pollfd fds[3] = {
                {m_signals, POLLIN, 0}, {m_learners[0], POLLIN, 0}, {m_learners[1], POLLIN, 0}};
            if (ppoll(fds, 3, WaitTime(), nullptr) < 0 && errno != EINTR) {
                std::perror("camflood: poll");
                return;
            }
            if (fds[0].revents & POLLIN) {
                EndFlood();
                return;
            }
            for (int i : {1, 2}) {
                if (fds[i].revents & POLLIN) {
                    Learn(fds[i].fd);
                }
            }
            if (m_flood) {
                SendDue();
            }
            if (m_flood && m_flood->Over(Flood::Clock::now())) {
                EndFlood();
                if (!m_options.learn) {
                    return;
                }
            }
        }
    }

private:
    // How long poll may sleep: until the next datagram is due, or for ever without a flood.
    const timespec* WaitTime() {
        if (!m_flood) {
            return nullptr;
        }
        auto now = Flood::Clock::now();
        auto wait = std::min(m_flood->NextDue(), m_flood->End()) - now;
        long long ns = std::max<long long>(
            0, std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count());
        m_wait.tv_sec = static_cast<time_t>(ns / 1000000000);
        m_wait.tv_nsec = static_cast<long>(ns % 1000000000);
        return &m_wait;
    }

    void StartFlood(const Peer& to, const std::string& relatesTo) {
        m_target = to;
        m_flood = std::make_unique<Flood>(m_options.content, relatesTo, m_options.rate,
                                          std::chrono::milliseconds(m_options.durationMs),
                                          m_options.total, m_nextFake);
        m_relatesTo = relatesTo;
    }

    void EndFlood() {
        if (m_flood) {
            std::printf("camflood flood: %s\n", m_flood->Summary(PeerText(m_target)).c_str());
            std::fflush(stdout);
            m_flood.reset();
        }
    }

    // Takes the probes waiting on a learning socket; a new one starts a flood towards it.
    void Learn(int fd) {
        static char buffer[65536];
        for (;;) {
            sockaddr_in from{};
            socklen_t length = sizeof from;
            ssize_t got =
                recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
            if (got < 0) {
                return;
            }
            Request probe;
            Peer sender{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
            if (!ParseRequest(buffer, static_cast<size_t>(got), probe) ||
                (probe.kind != RequestKind::kProbe && probe.kind != RequestKind::kKorvaneProbe) ||
                probe.messageId.empty() || sender.port == 0) {
                continue;
            }
            if (probe.messageId == m_relatesTo && sender.ip == m_target.ip &&
                sender.port == m_target.port) {
                continue;  // a search already flooded, seen again (the vendor probe, a repeat)
            }
            EndFlood();
            StartFlood(sender, probe.messageId);
        }
    }

    void SendDue() {
        size_t due = m_flood->Due(Flood::Clock::now(), kBatch);
        if (due == 0) {
            return;
        }
        std::vector<FloodDatagram> batch;
        batch.reserve(due);
        for (size_t i = 0; i < due; ++i) {
            batch.push_back(m_flood->Next());
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(m_target.ip);
        to.sin_port = htons(m_target.port);
        std::vector<iovec> iov(due);
        std::vector<mmsghdr> messages(due);
        for (size_t i = 0; i < due; ++i) {
            iov[i] = {const_cast<char*>(batch[i].payload.data()), batch[i].payload.size()};
            messages[i] = {};
            messages[i].msg_hdr.msg_name = &to;
            messages[i].msg_hdr.msg_namelen = sizeof to;
            messages[i].msg_hdr.msg_iov = &iov[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        // Every datagram made is sent or counted as failed, so the kinds keep their turn.
        size_t done = 0;
        while (done < due) {
            int sent = sendmmsg(m_sender, &messages[done], static_cast<unsigned>(due - done), 0);
            auto now = Flood::Clock::now();
            if (sent < 0) {
                if (m_flood->Counts().sendErrors == 0) {
                    std::cerr << "camflood: send to " << PeerText(m_target) << ": "
                              << std::strerror(errno) << "\n";
                }
                m_flood->Sent(batch[done++], false, now);
                continue;
            }
            for (int k = 0; k < sent; ++k) {
                m_flood->Sent(batch[done++], true, now);
            }
        }
    }

    const FloodOptions& m_options;
    int m_signals = -1;
    int m_sender = -1;
    int m_learners[2] = {-1, -1};
    std::unique_ptr<Flood> m_flood;
    Peer m_target;
    std::string m_relatesTo;
    uint32_t m_nextFake = 1;
    timespec m_wait{};
};

}  // namespace

int main(int argc, char** argv) {
    FloodOptions options;
    int status = ParseFloodOptions(argc, argv, options);
    if (status >= 0) {
        return status;
    }
    InitXml();
    if (options.learn && options.iface.empty()) {
        options.iface = OnlyInterface();
        if (options.iface.empty()) {
            return FloodUsageError("several interfaces or none: choose one with --iface");
        }
    }
    Flooder flooder(options);
    std::string error;
    if (!flooder.Start(error)) {
        std::cerr << "camflood: " << error << "\n";
        return 1;
    }
    if (options.learn) {
        std::printf("camflood ready: learning on %s port %u\n", options.iface.c_str(),
                    options.port);
    } else {
        std::printf("camflood ready: flooding %s\n", PeerText(options.to).c_str());
    }
    std::fflush(stdout);
    flooder.Run();
    return 0;
}
