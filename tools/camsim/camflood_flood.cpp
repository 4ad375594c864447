#include "camflood_flood.h"

#include <cstdio>
#include <sstream>

namespace {

// A message id of the usual length that relates to no client.
const char kNobody[] = "urn:uuid:00000000-0000-4000-8000-000000000000";

// The last made-up device; it and the one before have addresses of the longest form.
constexpr uint32_t kLongestFake = 0xFFFFFF;  // 10.255.255.255

AnswerHeader HeaderRelatingTo(const std::string& relatesTo) {
    AnswerHeader header;
    header.messageId = kNobody;
    header.relatesTo = relatesTo;
    return header;
}

// The most matches that fit in size bytes when every address is of the longest form.
uint32_t FakesFitting(size_t size) {
    const AnswerHeader header = HeaderRelatingTo(kNobody);
    const size_t one = WriteFakeMatches(header, kLongestFake - 1, 1).size();
    const size_t each = WriteFakeMatches(header, kLongestFake - 1, 2).size() - one;
    return size < one ? 0 : static_cast<uint32_t>((size - one) / each + 1);
}

// Text for an output line: bytes outside printable ASCII (a learned id is anyone's) as '?'.
std::string Printable(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c < 0x21 || c > 0x7E) {
            c = '?';
        }
    }
    return out;
}

}  // namespace

uint32_t MaxFakeMatches() {
    return FakesFitting(kMaxDatagram);
}

size_t MinJunkSize() {
    return WriteFakeMatches(HeaderRelatingTo(kNobody), 0, 0).size();
}

bool ParseKinds(const std::string& list, std::vector<FloodKind>& kinds) {
    kinds.clear();
    std::stringstream items(list);
    std::string item;
    while (std::getline(items, item, ',')) {
        if (item == "matches") {
            kinds.push_back(FloodKind::kMatches);
        } else if (item == "empty") {
            kinds.push_back(FloodKind::kEmpty);
        } else if (item == "junk") {
            kinds.push_back(FloodKind::kJunk);
        } else {
            return false;
        }
    }
    return !kinds.empty();
}

Flood::Flood(const FloodContent& content, std::string relatesTo, uint32_t rate,
             Clock::duration duration, unsigned long long total, uint32_t& nextFake)
    : m_content(content),
      m_header(HeaderRelatingTo(relatesTo)),
      m_rate(rate),
      m_start(Clock::now()),
      m_end(m_start + duration),
      m_total(total),
      m_nextFake(nextFake) {
    // Junk is made once per flood: parsing it costs the client the same every time.
    const uint32_t fakes = FakesFitting(content.junkSize);
    m_junk = PadEnvelope(WriteFakeMatches(HeaderRelatingTo(kNobody), m_nextFake, fakes),
                         content.junkSize);
}

size_t Flood::Due(Clock::time_point now, size_t most) const {
    if (Over(now)) {
        return 0;
    }
    unsigned long long due = most;
    if (m_rate != 0) {
        const double seconds = std::chrono::duration<double>(now - m_start).count();
        const auto byNow = static_cast<unsigned long long>(seconds * m_rate) + 1;
        due = byNow > Attempted() ? byNow - Attempted() : 0;
    }
    if (m_total != 0) {
        due = std::min(due, m_total - Attempted());
    }
    return static_cast<size_t>(std::min<unsigned long long>(due, most));
}

Flood::Clock::time_point Flood::NextDue() const {
    if (m_rate == 0) {
        return Clock::now();
    }
    return m_start + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(static_cast<double>(Attempted()) / m_rate));
}

bool Flood::Over(Clock::time_point now) const {
    return now >= m_end || (m_total != 0 && Attempted() >= m_total);
}

FloodDatagram Flood::Next() {
    FloodDatagram datagram;
    datagram.kind = m_content.kinds[m_made++ % m_content.kinds.size()];
    if (datagram.kind == FloodKind::kMatches) {
        char id[64];
        std::snprintf(id, sizeof id, "urn:uuid:f100d000-0000-4000-8000-%012llx", m_made);
        m_header.messageId = id;
        datagram.payload = WriteFakeMatches(m_header, m_nextFake, m_content.matches);
        datagram.fakeDevices = m_content.matches;
        m_nextFake += m_content.matches;
    } else if (datagram.kind == FloodKind::kJunk) {
        datagram.payload = m_junk;
    }
    return datagram;
}

void Flood::Sent(const FloodDatagram& datagram, bool ok, Clock::time_point now) {
    if (!ok) {
        ++m_counts.sendErrors;
        return;
    }
    if (m_counts.datagrams++ == 0) {
        m_first = now;
    }
    m_last = now;
    m_counts.bytes += datagram.payload.size();
    m_counts.fakeDevices += datagram.fakeDevices;
    ++(datagram.kind == FloodKind::kMatches ? m_counts.matches
       : datagram.kind == FloodKind::kEmpty ? m_counts.empty
                                            : m_counts.junk);
}

std::string Flood::Summary(const std::string& to) const {
    // The rate is measured from the first to the last datagram sent.
    const double seconds = std::chrono::duration<double>(m_last - m_first).count();
    const double rate = seconds > 0 ? static_cast<double>(m_counts.datagrams - 1) / seconds : 0;
    const double mbit = seconds > 0 ? static_cast<double>(m_counts.bytes) * 8 / seconds / 1e6 : 0;
    char counts[320];
    std::snprintf(counts, sizeof counts,
                  " sent=%llu matches=%llu empty=%llu junk=%llu fake_devices=%llu bytes=%llu "
                  "seconds=%.3f rate=%.0f mbit=%.1f send_errors=%llu",
                  m_counts.datagrams, m_counts.matches, m_counts.empty, m_counts.junk,
                  m_counts.fakeDevices, m_counts.bytes, seconds, rate, mbit, m_counts.sendErrors);
    return "to=" + to + " relates_to=" + Printable(m_header.relatesTo) + counts;
}
