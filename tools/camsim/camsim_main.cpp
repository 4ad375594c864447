// camsim: plays a fleet of ONVIF network video transmitters on one interface, for the tests,
// the benchmarks and a demonstration network. One UDP socket serves every device; each answer
// leaves from its device's own address, scheduled on one timer queue.

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
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <queue>
#include <string>
#include <unordered_map>
#include <vector>

#include "camsim_fleet.h"
#include "camsim_netaddr.h"
#include "camsim_wire.h"

namespace {

const char kUsage[] = R"USAGE(usage: camsim [options]

Plays one or many ONVIF network video transmitters (simulated cameras) on one network
interface. Every device has its own IPv4 address on the interface. One UDP socket on port 3702
serves them all: it answers tns:Probe (multicast 239.255.255.250 or unicast) with
tns:ProbeMatches, tns:KorvaneProbe (broadcast) with tns:KorvaneProbeMatches, and the
configuration requests tns:SetDeviceAddrReq, tns:SetDefaultPasswdReq and tns:SetDefaultCfgReq
addressed to one device (its serial number in DeviceSerialNo and MAC text in DeviceId) with the
matching response. Answers go to the source address and port of the request, from the device's
own address, with RelatesTo = the request's MessageID.

Sends discovery traffic: run it only inside a network namespace made for testing
(see scripts/vlan), never in the machine's own namespace.

Fleet:
  --count N          number of generated devices (default 10)
  --base IP          address of the first device (default 198.18.0.10); the next devices take
                     the following addresses, skipping any whose last field is 0 or 255
  --prefix LEN       prefix length of the device addresses (default 16)
  --seed N           seed of the generated identities (default 1); the same seed, count and
                     base always give the same fleet
  --file PATH        read the devices from a description file instead: one device per line,
                     blank-separated key=value fields: ip model name serial mac version
                     location password code prefix, and any behaviour key below (a bare
                     switch such as silent means silent=1); missing
                     fields are generated; '#' starts a comment
  --list [csv|json]  print the fleet (ip, model, name, serial, mac, version, password, code,
                     uuid, xaddrs; json also scopes and whether the device stays silent) and
                     exit without touching the network (default csv)

Network:
  --iface NAME       interface to serve (default: the only interface besides lo)
  --port N           UDP port (default 3702)
  --no-addr          do not add or remove addresses; they must already be on the interface

Behaviours (KEYS is a comma-separated list of key[=value]):
  --behave KEYS      for every device
  --device SEL:KEYS  for some devices; SEL is an index (0 = first device), a range 3-7, or
                     'all'; may be given many times, later ones win
  keys:
    delay=MS         wait MS milliseconds before each answer
    delay-max=MS     wait a further random 0..MS milliseconds (as ONVIF devices do)
    dup=N            send every answer N times (default 1)
    matches=N        put N probe matches in each answer: the device, then N-1 channels with
                     serial "<serial>-CH<k>"
    wsa5             answer with wsa5:RelatesTo instead of wsa:RelatesTo
    no-xaddrs        probe matches without XAddrs
    no-scopes        probe matches without Scopes
    silent           never answer anything
    result=CODE      answer every configuration request with this tns:result
    hostile=KIND     answer probes with a hostile datagram instead of the match:
                     truncated (the match cut in half), oversized (60 KB of model and name),
                     wrong-relates (RelatesTo another id), hello, bye (announcements),
                     garbage (binary bytes), fault (a SOAP fault)

Configuration answers (tns:result): 256 done; 261 wrong user name (not "admin") or wrong
AuthCode (the scrambled administrator password); 258 missing or invalid address, mask or
gateway; 262 the new address is in use on the segment (another device, a local address, or
the requester); 260 wrong serial code. A successful SetDeviceAddrReq moves the device: the new
address is added to the interface at once, the old one removed once the answer has left.
A successful SetDefaultPasswdReq sets the password to "admin".

Output: the line "camsim ready: N devices on IFACE port P (start T ms)" on stdout once
serving. SIGUSR1 prints a statistics line "camsim stats: ..." on stdout; SIGTERM or SIGINT
prints it and ends (removing the addresses it added). Exit status 0 after a signal,
1 on a start failure, 2 on a usage error.
)USAGE";

constexpr uint32_t kMulticastGroup = 0xEFFFFFFA;  // 239.255.255.250
constexpr uint32_t kAllOnes = 0xFFFFFFFF;

struct Options {
    FleetOptions fleet;
    std::string file;
    std::string list;  // "", "csv" or "json"
    std::string iface;
    uint16_t port = 3702;
    bool manageAddresses = true;
    std::string fleetBehaviour;
    std::vector<std::string> deviceBehaviours;
};

struct Stats {
    unsigned long long received = 0;
    unsigned long long probes = 0;
    unsigned long long korvaneProbes = 0;
    unsigned long long config = 0;
    unsigned long long ignored = 0;
    unsigned long long answers = 0;
    unsigned long long matches = 0;
    unsigned long long datagrams = 0;
    unsigned long long sendErrors = 0;
    unsigned long long moves = 0;
};

using Clock = std::chrono::steady_clock;

struct Outgoing {
    Clock::time_point due;
    uint64_t order = 0;
    uint32_t source = 0;  // device address, host order
    sockaddr_in to{};
    std::string payload;
    uint32_t removeAfter = 0;  // address to remove once sent (0: none)
    uint32_t removePrefix = 0;
};

struct Later {
    bool operator()(const Outgoing& a, const Outgoing& b) const {
        return a.due != b.due ? a.due > b.due : a.order > b.order;
    }
};

bool ParseNumber(const char* text, uint64_t max, uint64_t& value) {
    char* end = nullptr;
    errno = 0;
    unsigned long long parsed = std::strtoull(text, &end, 10);
    if (errno || end == text || *end || parsed > max || text[0] == '-') {
        return false;
    }
    value = parsed;
    return true;
}

int UsageError(const std::string& message) {
    std::cerr << "camsim: " << message << "\n(see camsim --help)\n";
    return 2;
}

// Returns -1 to go on, otherwise the exit status.
int ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char*& out) {
            if (i + 1 >= argc) {
                return false;
            }
            out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        uint64_t n = 0;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--list") {
            o.list = "csv";
            if (i + 1 < argc && argv[i + 1][0] != '-') {
                o.list = argv[++i];
            }
            if (o.list != "csv" && o.list != "json") {
                return UsageError("--list takes csv or json");
            }
        } else if (arg == "--no-addr") {
            o.manageAddresses = false;
        } else if (!value(v)) {
            return UsageError(arg.rfind("--", 0) == 0 ? "missing value or unknown option " + arg
                                                      : "unexpected argument " + arg);
        } else if (arg == "--count") {
            if (!ParseNumber(v, 1000000, n)) {
                return UsageError("bad --count");
            }
            o.fleet.count = static_cast<uint32_t>(n);
        } else if (arg == "--base") {
            if (!ParseIp(v, o.fleet.base)) {
                return UsageError("bad --base");
            }
        } else if (arg == "--prefix") {
            if (!ParseNumber(v, 32, n) || n == 0) {
                return UsageError("bad --prefix");
            }
            o.fleet.prefix = static_cast<uint32_t>(n);
        } else if (arg == "--seed") {
            if (!ParseNumber(v, UINT64_MAX, n)) {
                return UsageError("bad --seed");
            }
            o.fleet.seed = n;
        } else if (arg == "--file") {
            o.file = v;
        } else if (arg == "--iface") {
            o.iface = v;
        } else if (arg == "--port") {
            if (!ParseNumber(v, 65535, n) || n == 0) {
                return UsageError("bad --port");
            }
            o.port = static_cast<uint16_t>(n);
        } else if (arg == "--behave") {
            o.fleetBehaviour = v;
        } else if (arg == "--device") {
            o.deviceBehaviours.push_back(v);
        } else {
            return UsageError("unknown option " + arg);
        }
    }
    return -1;
}

bool ApplyBehaviours(const Options& o, std::vector<Device>& fleet, std::string& error) {
    for (Device& d : fleet) {
        if (!ParseBehaviour(o.fleetBehaviour, d.behaviour, error)) {
            return false;
        }
    }
    for (const std::string& item : o.deviceBehaviours) {
        size_t colon = item.find(':');
        if (colon == std::string::npos) {
            error = "--device takes SEL:KEYS";
            return false;
        }
        std::string sel = item.substr(0, colon);
        uint64_t first = 0;
        uint64_t last = fleet.empty() ? 0 : fleet.size() - 1;
        size_t dash = sel.find('-');
        bool ok = sel == "all" ||
                  (dash == std::string::npos
                       ? ParseNumber(sel.c_str(), UINT32_MAX, first) && (last = first, true)
                       : ParseNumber(sel.substr(0, dash).c_str(), UINT32_MAX, first) &&
                             ParseNumber(sel.substr(dash + 1).c_str(), UINT32_MAX, last));
        if (!ok || first > last || last >= fleet.size()) {
            error = "bad device selection '" + sel + "'";
            return false;
        }
        for (uint64_t i = first; i <= last; ++i) {
            if (!ParseBehaviour(item.substr(colon + 1), fleet[i].behaviour, error)) {
                return false;
            }
        }
    }
    return true;
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

bool IsLocalAddress(uint32_t ip) {
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

class Simulator {
public:
    Simulator(const Options& options, std::vector<Device> fleet)
        : m_options(options), m_fleet(std::move(fleet)), m_random(options.fleet.seed) {}

    ~Simulator() {
        if (m_socket >= 0) {
            close(m_socket);
        }
        if (m_signals >= 0) {
            close(m_signals);
        }
    }

    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    bool Start(std::string& error) {
        m_ifindex = static_cast<int>(if_nametoindex(m_options.iface.c_str()));
        if (m_ifindex == 0) {
            error = "no interface " + m_options.iface;
            return false;
        }
        for (uint32_t i = 0; i < m_fleet.size(); ++i) {
            m_byIp[m_fleet[i].ip].push_back(i);
        }
        return BlockSignals(error) && AddAddresses(error) && OpenSocket(error);
    }

    void Run() {
        for (;;) {
            pollfd fds[2] = {{m_signals, POLLIN, 0}, {m_socket, POLLIN, 0}};
            int timeout = -1;
            if (!m_queue.empty()) {
                auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                    m_queue.top().due - Clock::now());
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

    void PrintStats() const {
        std::printf(
            "camsim stats: received=%llu probes=%llu korvane_probes=%llu config=%llu "
            "ignored=%llu answers=%llu matches=%llu datagrams=%llu send_errors=%llu moves=%llu\n",
            m_stats.received, m_stats.probes, m_stats.korvaneProbes, m_stats.config,
            m_stats.ignored, m_stats.answers, m_stats.matches, m_stats.datagrams,
            m_stats.sendErrors, m_stats.moves);
        std::fflush(stdout);
    }

    void RemoveAddresses() {
        if (!m_options.manageAddresses) {
            return;
        }
        std::string error;
        for (const auto& entry : m_byIp) {
            if (!entry.second.empty() &&
                !m_addresses.Remove(entry.first, Prefix(entry.first), error)) {
                std::cerr << "camsim: " << error << "\n";
            }
        }
    }

private:
    bool BlockSignals(std::string& error) {
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

    uint32_t Prefix(uint32_t ip) const {
        auto it = m_byIp.find(ip);
        return it == m_byIp.end() || it->second.empty() ? 32 : m_fleet[it->second[0]].prefix;
    }

    bool AddAddresses(std::string& error) {
        if (!m_options.manageAddresses) {
            return true;
        }
        if (!m_addresses.Open(m_ifindex, error)) {
            return false;
        }
        EnablePromoteSecondaries(m_options.iface);
        for (const auto& entry : m_byIp) {
            if (!m_addresses.Add(entry.first, m_fleet[entry.second[0]].prefix, error)) {
                error = IpText(entry.first) + ": " + error;
                return false;
            }
        }
        return true;
    }

    bool OpenSocket(std::string& error) {
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

    bool HandleSignal() {
        signalfd_siginfo info{};
        if (read(m_signals, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) {
            return true;
        }
        PrintStats();
        return info.ssi_signo == SIGUSR1;
    }

    void ReceiveAll() {
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
            ++m_stats.received;
            OnDatagram(buffer, static_cast<size_t>(got), from, destination);
        }
    }

    // The devices a datagram to this destination reaches.
    std::vector<uint32_t> Targets(uint32_t destination) const {
        auto it = m_byIp.find(destination);
        if (it != m_byIp.end()) {
            return it->second;
        }
        std::vector<uint32_t> all;
        bool everyone = destination == kMulticastGroup || destination == kAllOnes;
        for (uint32_t i = 0; i < m_fleet.size(); ++i) {
            uint32_t hostMask = m_fleet[i].prefix >= 31 ? 0 : kAllOnes >> m_fleet[i].prefix;
            if (everyone || (hostMask && (m_fleet[i].ip | hostMask) == destination)) {
                all.push_back(i);
            }
        }
        return all;
    }

    void OnDatagram(const char* data, size_t size, const sockaddr_in& from, uint32_t destination) {
        Request request;
        uint32_t sourceIp = ntohl(from.sin_addr.s_addr);
        // Our own answers looping back, or a sender without a port, are never answered.
        if (!ParseRequest(data, size, request) || request.kind == RequestKind::kNone ||
            from.sin_port == 0 || m_byIp.count(sourceIp)) {
            ++m_stats.ignored;
            return;
        }
        std::vector<uint32_t> targets = Targets(destination);
        if (request.kind == RequestKind::kProbe || request.kind == RequestKind::kKorvaneProbe) {
            ++(request.kind == RequestKind::kProbe ? m_stats.probes : m_stats.korvaneProbes);
            for (uint32_t index : targets) {
                if (!m_fleet[index].behaviour.silent && ProbeSelects(request, m_fleet[index])) {
                    AnswerProbe(request, m_fleet[index], from);
                }
            }
            return;
        }
        ++m_stats.config;
        for (uint32_t index : targets) {
            Device& d = m_fleet[index];
            if (request.hasDevice && d.serial == request.serialNo && d.mac == request.deviceId) {
                if (!d.behaviour.silent) {
                    AnswerConfig(request, index, from);
                }
                return;
            }
        }
        ++m_stats.ignored;
    }

    AnswerHeader HeaderFor(const Request& request, const Device& device) {
        AnswerHeader header;
        uint64_t a = ++m_answerCounter * 0x9E3779B97F4A7C15ULL ^ m_options.fleet.seed;
        char id[64];
        std::snprintf(id, sizeof id, "urn:uuid:%08x-%04x-4%03x-a%03x-%012llx",
                      static_cast<unsigned>(a >> 32), static_cast<unsigned>((a >> 16) & 0xFFFF),
                      static_cast<unsigned>(a & 0xFFF),
                      static_cast<unsigned>(m_answerCounter & 0xFFF),
                      static_cast<unsigned long long>(m_answerCounter & 0xFFFFFFFFFFFFULL));
        header.messageId = id;
        header.relatesTo = request.messageId;
        header.wsa5 = device.behaviour.wsa5;
        return header;
    }

    static MatchText MatchOf(const Device& d) {
        MatchText m;
        m.address = d.uuid;
        m.scopes = ScopesOf(d);
        m.xaddrs = "http://" + IpText(d.ip) + "/onvif/device_service";
        m.omitScopes = d.behaviour.noScopes;
        m.omitXAddrs = d.behaviour.noXAddrs;
        return m;
    }

    std::string HostileAnswer(const Request& request, const Device& d) {
        const std::string& kind = d.behaviour.hostile;
        AnswerHeader header = HeaderFor(request, d);
        bool korvane = request.kind == RequestKind::kKorvaneProbe;
        if (kind == "truncated") {
            std::string whole = WriteProbeMatches(header, korvane, {MatchOf(d)});
            return whole.substr(0, whole.size() / 2);
        }
        if (kind == "oversized") {
            Device big = d;
            big.model.assign(30000, 'X');
            big.name.assign(30000, 'N');
            return WriteProbeMatches(header, korvane, {MatchOf(big)});
        }
        if (kind == "wrong-relates") {
            header.relatesTo = "urn:uuid:00000000-0000-4000-8000-000000000000";
            return WriteProbeMatches(header, korvane, {MatchOf(d)});
        }
        if (kind == "hello" || kind == "bye") {
            header.relatesTo.clear();
            return WriteAnnouncement(header, kind == "bye", MatchOf(d));
        }
        if (kind == "fault") {
            return WriteFault(header);
        }
        std::string garbage = "GARBAGE\x01\xff";  // "garbage": not XML at all
        for (int i = 0; i < 512; ++i) {
            garbage += static_cast<char>(Next() & 0xFF);
        }
        return garbage;
    }

    void AnswerProbe(const Request& request, const Device& d, const sockaddr_in& to) {
        std::string payload;
        if (!d.behaviour.hostile.empty()) {
            payload = HostileAnswer(request, d);
        } else {
            std::vector<MatchText> matches{MatchOf(d)};
            for (uint32_t k = 2; k <= d.behaviour.matches; ++k) {
                Device channel = d;
                channel.serial += "-CH" + std::to_string(k);
                channel.uuid += "-ch" + std::to_string(k);
                matches.push_back(MatchOf(channel));
            }
            payload = WriteProbeMatches(HeaderFor(request, d),
                                        request.kind == RequestKind::kKorvaneProbe, matches);
            m_stats.matches += d.behaviour.matches;
        }
        Schedule(d, to, payload, 0, 0);
    }

    // The result a device gives a configuration request; on success of an address change
    // newIp/newPrefix receive the new address.
    int Decide(const Request& r, Device& d, uint32_t requester, uint32_t& newIp,
               uint32_t& newPrefix) {
        if (d.behaviour.result != 0) {
            return d.behaviour.result;
        }
        bool authorised = r.userName == "admin" && r.authCode == ScramblePassword(d.password);
        if (r.kind == RequestKind::kSetDefaultPasswd) {
            if (r.passwordAuthCode != d.serialCode) {
                return 260;
            }
            d.password = "admin";
            return 256;
        }
        if (!authorised) {
            return 261;
        }
        if (r.kind == RequestKind::kSetDefaultCfg) {
            return 256;
        }
        uint32_t ip = 0;
        uint32_t mask = 0;
        uint32_t gateway = 0;
        bool validMask = ParseIp(r.newMask, mask) && mask != 0 && (~mask & (~mask + 1)) == 0;
        if (!r.hasAddr || !ParseIp(r.newIp, ip) || !validMask || (ip >> 24) == 0 ||
            (ip >> 24) == 127 || (ip >> 24) > 223 || (ip & 0xFF) == 0 || (ip & 0xFF) == 255 ||
            (!r.newGateway.empty() && !ParseIp(r.newGateway, gateway))) {
            return 258;
        }
        newPrefix = static_cast<uint32_t>(__builtin_popcount(mask));
        if (ip == d.ip) {
            return 256;
        }
        auto used = m_byIp.find(ip);
        if ((used != m_byIp.end() && !used->second.empty()) || ip == requester ||
            IsLocalAddress(ip)) {
            return 262;
        }
        newIp = ip;
        return 256;
    }

    void AnswerConfig(const Request& request, uint32_t index, const sockaddr_in& to) {
        Device& d = m_fleet[index];
        uint32_t newIp = 0;
        uint32_t newPrefix = d.prefix;
        int result = Decide(request, d, ntohl(to.sin_addr.s_addr), newIp, newPrefix);
        uint32_t oldIp = d.ip;
        uint32_t oldPrefix = d.prefix;
        std::string payload = WriteConfigAnswer(HeaderFor(request, d), request, d, result);
        uint32_t removeAfter = 0;
        if (newIp != 0 && MoveDevice(index, newIp, newPrefix)) {
            auto& left = m_byIp[oldIp];
            removeAfter = left.empty() && m_options.manageAddresses ? oldIp : 0;
        }
        Device source = d;
        source.ip = oldIp;  // the answer leaves from the address the request reached
        Schedule(source, to, payload, removeAfter, oldPrefix);
    }

    bool MoveDevice(uint32_t index, uint32_t newIp, uint32_t newPrefix) {
        Device& d = m_fleet[index];
        std::string error;
        if (m_options.manageAddresses && !m_addresses.Add(newIp, newPrefix, error)) {
            std::cerr << "camsim: " << IpText(newIp) << ": " << error << "\n";
            return false;
        }
        auto& at = m_byIp[d.ip];
        for (size_t i = 0; i < at.size(); ++i) {
            if (at[i] == index) {
                at.erase(at.begin() + static_cast<long>(i));
                break;
            }
        }
        d.ip = newIp;
        d.prefix = newPrefix;
        m_byIp[newIp].push_back(index);
        ++m_stats.moves;
        return true;
    }

    uint64_t Next() {
        m_random += 0x9E3779B97F4A7C15ULL;
        uint64_t x = m_random;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
        return x ^ (x >> 31);
    }

    void Schedule(const Device& d, const sockaddr_in& to, const std::string& payload,
                  uint32_t removeAfter, uint32_t removePrefix) {
        const Behaviour& b = d.behaviour;
        uint64_t delay = b.delayMs + (b.delayMaxMs ? Next() % (b.delayMaxMs + 1ULL) : 0);
        Outgoing out;
        out.due = Clock::now() + std::chrono::milliseconds(delay);
        out.source = d.ip;
        out.to = to;
        out.payload = payload;
        ++m_stats.answers;
        for (uint32_t copy = 1; copy <= b.copies; ++copy) {
            out.order = ++m_order;
            // The old address goes only after the last copy has left from it.
            out.removeAfter = copy == b.copies ? removeAfter : 0;
            out.removePrefix = removePrefix;
            m_queue.push(out);
        }
    }

    void SendDue() {
        auto now = Clock::now();
        while (!m_queue.empty() && m_queue.top().due <= now) {
            Send(m_queue.top());
            m_queue.pop();
        }
    }

    void Send(const Outgoing& out) {
        iovec iov{const_cast<char*>(out.payload.data()), out.payload.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr msg{};
        msg.msg_name = const_cast<sockaddr_in*>(&out.to);
        msg.msg_namelen = sizeof out.to;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst.s_addr = htonl(out.source);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
        // The socket blocks on sending: a full buffer slows the answers down, never drops them.
        if (sendmsg(m_socket, &msg, 0) < 0) {
            ++m_stats.sendErrors;
            if (m_stats.sendErrors <= 10) {
                std::cerr << "camsim: send from " << IpText(out.source) << ": "
                          << std::strerror(errno) << "\n";
            }
        } else {
            ++m_stats.datagrams;
        }
        std::string error;
        if (out.removeAfter && m_byIp[out.removeAfter].empty() &&
            !m_addresses.Remove(out.removeAfter, out.removePrefix, error)) {
            std::cerr << "camsim: " << error << "\n";
        }
    }

    const Options& m_options;
    std::vector<Device> m_fleet;
    std::unordered_map<uint32_t, std::vector<uint32_t>> m_byIp;
    AddressTable m_addresses;
    int m_ifindex = 0;
    int m_socket = -1;
    int m_signals = -1;
    uint64_t m_random;
    uint64_t m_answerCounter = 0;
    uint64_t m_order = 0;
    std::priority_queue<Outgoing, std::vector<Outgoing>, Later> m_queue;
    Stats m_stats;
};

}  // namespace

int main(int argc, char** argv) {
    auto started = Clock::now();
    Options options;
    int status = ParseOptions(argc, argv, options);
    if (status >= 0) {
        return status;
    }
    InitXml();
    std::vector<Device> fleet;
    std::string error;
    if (!options.file.empty() ? !ReadFleetFile(options.file, options.fleet, fleet, error)
                              : (fleet = GenerateFleet(options.fleet), false)) {
        return UsageError(error);
    }
    if (!ApplyBehaviours(options, fleet, error)) {
        return UsageError(error);
    }
    if (options.list == "csv") {
        PrintFleetCsv(fleet, std::cout);
        return 0;
    }
    if (options.list == "json") {
        PrintFleetJson(fleet, std::cout);
        return 0;
    }
    if (options.iface.empty()) {
        options.iface = OnlyInterface();
        if (options.iface.empty()) {
            return UsageError("several interfaces or none: choose one with --iface");
        }
    }
    size_t count = fleet.size();
    Simulator simulator(options, std::move(fleet));
    if (!simulator.Start(error)) {
        std::cerr << "camsim: " << error << "\n";
        simulator.RemoveAddresses();
        return 1;
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    std::printf("camsim ready: %zu devices on %s port %u (start %lld ms)\n", count,
                options.iface.c_str(), options.port, static_cast<long long>(ms.count()));
    std::fflush(stdout);
    simulator.Run();
    simulator.RemoveAddresses();
    return 0;
}
