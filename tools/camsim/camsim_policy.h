#pragma once
// What the simulated devices do with a received datagram: which devices it reaches, which of
// them answer, and with what (correct or hostile answers, configuration results, address
// moves). No sockets: the machine it runs on is asked through Host, and the answers are
// returned for the event loop to send.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "camsim_fleet.h"
#include "camsim_wire.h"

// What the policy needs from the machine it runs on (the event loop; a fake in tests).
class Host {
public:
    virtual ~Host() = default;
    // True when ip is an address of this machine other than the devices' own.
    virtual bool IsLocalAddress(uint32_t ip) = 0;
    // Puts the new address of a moving device on the interface; false when that failed.
    virtual bool AddAddress(uint32_t ip, uint32_t prefix) = 0;
};

// An IPv4 address and UDP port, host order.
struct Peer {
    uint32_t ip = 0;
    uint16_t port = 0;
};

// One answer: a datagram sent copies times after delayMs, from a device's address.
struct Answer {
    uint32_t from = 0;  // device address, host order
    Peer to;            // the requester
    std::string payload;
    uint32_t delayMs = 0;
    uint32_t copies = 1;
    uint32_t removeAfter = 0;  // address left by a moved device, to remove after the last copy
    uint32_t removePrefix = 0;
};

struct PolicyStats {
    unsigned long long received = 0;  // datagrams handed to the policy
    unsigned long long probes = 0;
    unsigned long long korvaneProbes = 0;
    unsigned long long config = 0;
    unsigned long long ignored = 0;  // not a request, our own, or addressed to no device
    unsigned long long answers = 0;
    unsigned long long matches = 0;
    unsigned long long moves = 0;
    unsigned long long dropped = 0;  // datagrams lost by a device's lossy link, per device
};

class DevicePolicy {
public:
    DevicePolicy(std::vector<Device> fleet, uint64_t seed, Host& host);

    // Decides the answers to one datagram from a requester that arrived for destination
    // (host order: a device's address, the multicast group or a broadcast address).
    std::vector<Answer> OnDatagram(const char* data, size_t size, const Peer& from,
                                   uint32_t destination);

    // True while some device has this address.
    bool Occupied(uint32_t ip) const;
    // Every address that devices have, with its prefix length.
    std::vector<std::pair<uint32_t, uint32_t>> Addresses() const;

    const std::vector<Device>& Fleet() const { return m_fleet; }
    const PolicyStats& Stats() const { return m_stats; }

private:
    std::vector<uint32_t> Reached(uint32_t destination) const;
    std::vector<uint32_t> PastLossyLinks(const std::vector<uint32_t>& reached);
    bool Understands(const Device& d, const Request& r) const;
    AnswerHeader HeaderFor(const Request& request, const Device& device);
    std::string HostileAnswer(const Request& request, const Device& d);
    Answer AnswerProbe(const Request& request, const Device& d, const Peer& to);
    int Decide(const Request& r, Device& d, uint32_t requester, uint32_t& newIp,
               uint32_t& newPrefix);
    Answer AnswerConfig(const Request& request, uint32_t index, const Peer& to);
    bool MoveDevice(uint32_t index, uint32_t newIp, uint32_t newPrefix);
    Answer Outgoing(const Device& d, const Peer& to, std::string payload);
    uint64_t Next();

    std::vector<Device> m_fleet;
    std::unordered_map<uint32_t, std::vector<uint32_t>> m_byIp;  // address -> device indices
    std::vector<uint32_t> m_dropsLeft;                           // per device
    Host& m_host;
    uint64_t m_seed;
    uint64_t m_random;
    uint64_t m_answerCounter = 0;
    PolicyStats m_stats;
};

// True when a probe's Types and Scopes select the device: every type asked for is one it
// has (namespace and local name), and every scope asked for prefixes one of its scopes.
bool ProbeSelects(const Request& probe, const Device& device);
