#pragma once
// One flood of hostile datagrams towards one client: what each datagram is, how fast they
// go, and what was sent.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "camsim_wire.h"

enum class FloodKind {
    kMatches,  // a tns:ProbeMatches of made-up devices relating to the client's probe
    kEmpty,    // a zero-length datagram
    kJunk,     // a well-formed envelope of a chosen size that relates to no client
};

// What the datagrams of a flood are.
struct FloodContent {
    std::vector<FloodKind> kinds{FloodKind::kMatches};  // sent in turn
    uint32_t matches = 800;                             // made-up devices per matches datagram
    uint32_t junkSize = 60000;                          // bytes of a junk datagram
};

// The largest datagram UDP over IPv4 carries.
constexpr size_t kMaxDatagram = 65507;

// The most made-up devices that always fit in one datagram, with a message id of the usual
// length ("urn:uuid:" and 36 characters).
uint32_t MaxFakeMatches();
// The smallest junk datagram (an envelope with no match at all).
size_t MinJunkSize();

// Parses "matches,empty,junk" (any of them, in any order, repeats allowed).
bool ParseKinds(const std::string& list, std::vector<FloodKind>& kinds);

struct FloodCounts {
    unsigned long long datagrams = 0;
    unsigned long long bytes = 0;
    unsigned long long matches = 0;  // matches datagrams
    unsigned long long empty = 0;
    unsigned long long junk = 0;
    unsigned long long fakeDevices = 0;
    unsigned long long sendErrors = 0;
};

struct FloodDatagram {
    FloodKind kind = FloodKind::kEmpty;
    std::string payload;
    uint32_t fakeDevices = 0;
};

// Makes the datagrams of one flood, in turn, paces them and keeps count of those sent.
class Flood {
public:
    using Clock = std::chrono::steady_clock;

    // relatesTo: the message id of the client's probe; rate: datagrams per second (0: as
    // fast as the socket takes them); duration and total (0: no limit) end the flood.
    Flood(const FloodContent& content, std::string relatesTo, uint32_t rate,
          Clock::duration duration, unsigned long long total, uint32_t& nextFake);

    // How many datagrams are due now (at most `most`); 0 when the flood is over.
    size_t Due(Clock::time_point now, size_t most) const;
    // When the next datagram is due (only meaningful while Due() is 0 and not Over()).
    Clock::time_point NextDue() const;
    bool Over(Clock::time_point now) const;
    Clock::time_point End() const { return m_end; }

    // The next datagram to send, and its bookkeeping once it was (or failed to be) sent.
    FloodDatagram Next();
    void Sent(const FloodDatagram& datagram, bool ok, Clock::time_point now);

    // "to=... sent=... rate=..." for the statistics line.
    std::string Summary(const std::string& to) const;
    const FloodCounts& Counts() const { return m_counts; }

private:
    unsigned long long Attempted() const { return m_counts.datagrams + m_counts.sendErrors; }

    const FloodContent& m_content;
    AnswerHeader m_header;
    std::string m_junk;
    unsigned long long m_made = 0;  // datagrams made so far, which picks the next kind
    uint32_t m_rate;
    Clock::time_point m_start;
    Clock::time_point m_end;
    Clock::time_point m_first{};
    Clock::time_point m_last{};
    unsigned long long m_total;
    uint32_t& m_nextFake;  // shared by the floods of a run, so that every fake is new
    FloodCounts m_counts;
};
