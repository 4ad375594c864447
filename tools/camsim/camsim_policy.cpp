#include "camsim_policy.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace {

constexpr uint32_t kMulticastGroup = 0xEFFFFFFA;  // 239.255.255.250
constexpr uint32_t kAllOnes = 0xFFFFFFFF;

MatchText MatchOf(const Device& d) {
    MatchText m;
    m.address = d.uuid;
    m.scopes = ScopesOf(d);
    m.xaddrs = "http://" + IpText(d.ip) + "/onvif/device_service";
    m.omitScopes = d.behaviour.noScopes;
    m.omitXAddrs = d.behaviour.noXAddrs;
    return m;
}

bool IsProbe(RequestKind kind) {
    return kind == RequestKind::kProbe || kind == RequestKind::kKorvaneProbe;
}

}  // namespace

bool ProbeSelects(const Request& probe, const Device& device) {
    if (!probe.typesValid) {
        return false;
    }
    const std::vector<QName> has = DeviceTypes();
    for (const QName& type : probe.types) {
        if (std::find(has.begin(), has.end(), type) == has.end()) {
            return false;
        }
    }
    // Every scope asked for must be a prefix (at a segment boundary) of one of ours.
    std::stringstream wanted(probe.scopes);
    std::string scope;
    const std::string ours = " " + ScopesOf(device) + " ";
    while (wanted >> scope) {
        while (!scope.empty() && scope.back() == '/') {
            scope.pop_back();
        }
        if (ours.find(" " + scope + " ") == std::string::npos &&
            ours.find(" " + scope + "/") == std::string::npos) {
            return false;
        }
    }
    return true;
}

DevicePolicy::DevicePolicy(std::vector<Device> fleet, uint64_t seed, Host& host)
    : m_fleet(std::move(fleet)), m_host(host), m_seed(seed), m_random(seed) {
    m_dropsLeft.reserve(m_fleet.size());
    for (uint32_t i = 0; i < m_fleet.size(); ++i) {
        m_byIp[m_fleet[i].ip].push_back(i);
        m_dropsLeft.push_back(m_fleet[i].behaviour.drop);
    }
}

bool DevicePolicy::Occupied(uint32_t ip) const {
    auto it = m_byIp.find(ip);
    return it != m_byIp.end() && !it->second.empty();
}

std::vector<std::pair<uint32_t, uint32_t>> DevicePolicy::Addresses() const {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (const auto& entry : m_byIp) {
        if (!entry.second.empty()) {
            out.emplace_back(entry.first, m_fleet[entry.second[0]].prefix);
        }
    }
    return out;
}

std::vector<Answer> DevicePolicy::OnDatagram(const char* data, size_t size, const Peer& from,
                                             uint32_t destination) {
    ++m_stats.received;
    // Our own answers looping back, or a sender without a port, are never answered.
    if (from.port == 0 || Occupied(from.ip)) {
        ++m_stats.ignored;
        return {};
    }
    // A lossy link loses the datagram before its device reads it.
    std::vector<uint32_t> targets = PastLossyLinks(Reached(destination));
    Request request;
    if (!ParseRequest(data, size, request) || request.kind == RequestKind::kNone) {
        ++m_stats.ignored;
        return {};
    }
    std::vector<Answer> answers;
    if (IsProbe(request.kind)) {
        ++(request.kind == RequestKind::kProbe ? m_stats.probes : m_stats.korvaneProbes);
        for (uint32_t index : targets) {
            const Device& d = m_fleet[index];
            if (Understands(d, request) && ProbeSelects(request, d)) {
                answers.push_back(AnswerProbe(request, d, from));
            }
        }
        return answers;
    }
    ++m_stats.config;
    for (uint32_t index : targets) {
        const Device& d = m_fleet[index];
        if (request.hasDevice && d.serial == request.serialNo && d.mac == request.deviceId) {
            if (Understands(d, request)) {
                answers.push_back(AnswerConfig(request, index, from));
            }
            return answers;
        }
    }
    ++m_stats.ignored;
    return answers;
}

// The devices a datagram to this destination reaches: those at that address, or every
// device for the multicast group and the limited broadcast, or those whose subnet
// broadcast address it is.
std::vector<uint32_t> DevicePolicy::Reached(uint32_t destination) const {
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

// The reached devices that get the datagram; each lossy one loses its first datagrams.
std::vector<uint32_t> DevicePolicy::PastLossyLinks(const std::vector<uint32_t>& reached) {
    std::vector<uint32_t> arrived;
    arrived.reserve(reached.size());
    for (uint32_t index : reached) {
        if (m_dropsLeft[index] > 0) {
            --m_dropsLeft[index];
            ++m_stats.dropped;
        } else {
            arrived.push_back(index);
        }
    }
    return arrived;
}

// Whether a device takes the request at all: a silent one never does, a strict one only
// with the wsa:Action of the body it carries.
bool DevicePolicy::Understands(const Device& d, const Request& r) const {
    return !d.behaviour.silent && (!d.behaviour.strict || r.action == ActionOf(r.kind));
}

AnswerHeader DevicePolicy::HeaderFor(const Request& request, const Device& device) {
    AnswerHeader header;
    uint64_t a = ++m_answerCounter * 0x9E3779B97F4A7C15ULL ^ m_seed;
    char id[64];
    std::snprintf(id, sizeof id, "urn:uuid:%08x-%04x-4%03x-a%03x-%012llx",
                  static_cast<unsigned>(a >> 32), static_cast<unsigned>((a >> 16) & 0xFFFF),
                  static_cast<unsigned>(a & 0xFFF), static_cast<unsigned>(m_answerCounter & 0xFFF),
                  static_cast<unsigned long long>(m_answerCounter & 0xFFFFFFFFFFFFULL));
    header.messageId = id;
    header.relatesTo = request.messageId;
    header.wsa5 = device.behaviour.wsa5;
    return header;
}

std::string DevicePolicy::HostileAnswer(const Request& request, const Device& d) {
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

Answer DevicePolicy::AnswerProbe(const Request& request, const Device& d, const Peer& to) {
    if (!d.behaviour.hostile.empty()) {
        return Outgoing(d, to, HostileAnswer(request, d));
    }
    std::vector<MatchText> matches{MatchOf(d)};
    for (uint32_t k = 2; k <= d.behaviour.matches; ++k) {
        Device channel = d;
        channel.serial += "-CH" + std::to_string(k);
        channel.uuid += "-ch" + std::to_string(k);
        matches.push_back(MatchOf(channel));
    }
    m_stats.matches += d.behaviour.matches;
    return Outgoing(d, to,
                    WriteProbeMatches(HeaderFor(request, d),
                                      request.kind == RequestKind::kKorvaneProbe, matches));
}

// The result a device gives a configuration request; on success of an address change
// newIp/newPrefix receive the new address.
int DevicePolicy::Decide(const Request& r, Device& d, uint32_t requester, uint32_t& newIp,
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
    if (!r.hasAddr || !ParseIp(r.newIp, ip) || !validMask || (ip >> 24) == 0 || (ip >> 24) == 127 ||
        (ip >> 24) > 223 || (ip & 0xFF) == 0 || (ip & 0xFF) == 255 ||
        (!r.newGateway.empty() && !ParseIp(r.newGateway, gateway))) {
        return 258;
    }
    newPrefix = static_cast<uint32_t>(__builtin_popcount(mask));
    if (ip == d.ip) {
        return 256;
    }
    if (Occupied(ip) || ip == requester || m_host.IsLocalAddress(ip)) {
        return 262;
    }
    newIp = ip;
    return 256;
}

Answer DevicePolicy::AnswerConfig(const Request& request, uint32_t index, const Peer& to) {
    Device& d = m_fleet[index];
    uint32_t newIp = 0;
    uint32_t newPrefix = d.prefix;
    int result = Decide(request, d, to.ip, newIp, newPrefix);
    // The answer leaves from the address the request reached, even when the device moves.
    Answer answer = Outgoing(d, to, WriteConfigAnswer(HeaderFor(request, d), request, d, result));
    uint32_t oldIp = d.ip;
    uint32_t oldPrefix = d.prefix;
    if (newIp != 0 && MoveDevice(index, newIp, newPrefix) && !Occupied(oldIp)) {
        answer.removeAfter = oldIp;
        answer.removePrefix = oldPrefix;
    }
    return answer;
}

bool DevicePolicy::MoveDevice(uint32_t index, uint32_t newIp, uint32_t newPrefix) {
    Device& d = m_fleet[index];
    if (!m_host.AddAddress(newIp, newPrefix)) {
        return false;
    }
    auto& at = m_byIp[d.ip];
    at.erase(std::find(at.begin(), at.end(), index));
    d.ip = newIp;
    d.prefix = newPrefix;
    m_byIp[newIp].push_back(index);
    ++m_stats.moves;
    return true;
}

// An answer of device d to a requester, with the device's delay and copies.
Answer DevicePolicy::Outgoing(const Device& d, const Peer& to, std::string payload) {
    const Behaviour& b = d.behaviour;
    Answer answer;
    answer.from = d.ip;
    answer.to = to;
    answer.payload = std::move(payload);
    answer.delayMs =
        b.delayMs + static_cast<uint32_t>(b.delayMaxMs ? Next() % (b.delayMaxMs + 1ULL) : 0);
    answer.copies = b.copies;
    ++m_stats.answers;
    return answer;
}

// splitmix64, seeded from the fleet's seed: the same run makes the same choices.
uint64_t DevicePolicy::Next() {
    m_random += 0x9E3779B97F4A7C15ULL;
    uint64_t x = m_random;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}
