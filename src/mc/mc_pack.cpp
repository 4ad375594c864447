#include "mc_pack.h"

#include <algorithm>
#include <cstring>

#include "common/common_log.h"

// The packed form: pieces one after another, each the length of the datagram's own bytes
// (a varint), those bytes, and then, unless the datagram ends there, the length and the
// reference offset of a run copied from the reference (two varints).

namespace {

// Shorter runs are not looked for: as a piece they would cost about as much as their bytes.
const size_t kMinRun = 8;
const int kHashBits = 12;
const uint16_t kNoStart = 0xFFFF;  // no run starts there in a reference of kMaxPacked bytes
// Datagrams shorter than this are kept whole; they would only displace a good reference.
const size_t kMinPacked = 256;
// Nor are longer ones packed: an answer takes one or two kilobytes, and packing costs the
// receive thread time in proportion to the size (about 1 us for 1,200 bytes), which a flood of
// large datagrams should not be able to multiply.
const size_t kMaxPacked = 16384;

size_t HashAt(const char* p) {
    uint64_t word = 0;
    std::memcpy(&word, p, sizeof(word));
    return static_cast<size_t>((word * 0x9E3779B97F4A7C15ull) >> (64 - kHashBits));
}

void PutVarint(size_t value, std::string* pOut) {
    while (value >= 0x80) {
        pOut->push_back(static_cast<char>((value & 0x7F) | 0x80));
        value >>= 7;
    }
    pOut->push_back(static_cast<char>(value));
}

// false at the end of the text or on a varint longer than a size holds.
bool GetVarint(const std::string& text, size_t* pAt, size_t* pValue) {
    size_t value = 0;
    for (int shift = 0; *pAt < text.size() && shift < 63; shift += 7) {
        const unsigned char byte = static_cast<unsigned char>(text[(*pAt)++]);
        value |= static_cast<size_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            *pValue = value;
            return true;
        }
    }
    return false;
}

}  // namespace

CDatagramPacker::CDatagramPacker(std::atomic<size_t>* pReferenceBytes)
    : m_pReferenceBytes(pReferenceBytes), m_starts(size_t{1} << kHashBits, kNoStart) {}

void CDatagramPacker::Pack(std::string_view bytes, PackedDatagram* pPacked) {
    if (bytes.size() < kMinPacked || bytes.size() > kMaxPacked) {
        KeepWhole(bytes, pPacked);
        return;
    }
    if (m_reference == nullptr || !Encode(bytes, &pPacked->own)) {
        TakeReference(bytes);
        pPacked->own.clear();
    }
    pPacked->reference = m_reference;
}

bool CDatagramPacker::Encode(std::string_view bytes, std::string* pOwn) const {
    const std::string& reference = *m_reference;
    pOwn->clear();
    size_t pending = 0;  // the first of the datagram's own bytes not written yet
    size_t at = 0;
    while (at + kMinRun <= bytes.size()) {
        size_t from = m_starts[HashAt(bytes.data() + at)];
        if (from == kNoStart || std::memcmp(reference.data() + from, bytes.data() + at, kMinRun)) {
            if (++at - pending > bytes.size() / 2) {
                return false;  // its own bytes alone would be more than half
            }
            continue;
        }
        size_t length = kMinRun;
        while (at + length < bytes.size() && from + length < reference.size() &&
               bytes[at + length] == reference[from + length]) {
            ++length;
        }
        while (at > pending && from > 0 && bytes[at - 1] == reference[from - 1]) {
            --at;
            --from;
            ++length;
        }
        PutVarint(at - pending, pOwn);
        pOwn->append(bytes.data() + pending, at - pending);
        PutVarint(length, pOwn);
        PutVarint(from, pOwn);
        at += length;
        pending = at;
        if (pOwn->size() > bytes.size() / 2) {
            return false;
        }
    }
    PutVarint(bytes.size() - pending, pOwn);
    pOwn->append(bytes.data() + pending, bytes.size() - pending);
    return pOwn->size() <= bytes.size() / 2;
}

void CDatagramPacker::TakeReference(std::string_view bytes) {
    std::atomic<size_t>* pCount = m_pReferenceBytes;
    *pCount += bytes.size();
    m_reference = PackReference(new std::string(bytes), [pCount](const std::string* pBytes) {
        *pCount -= pBytes->size();
        delete pBytes;
    });
    std::fill(m_starts.begin(), m_starts.end(), kNoStart);
    const std::string& reference = *m_reference;
    for (size_t at = 0; at + kMinRun <= reference.size(); ++at) {
        uint16_t& start = m_starts[HashAt(reference.data() + at)];
        if (start == kNoStart) {
            start = static_cast<uint16_t>(at);  // the first: runs extend further from there
        }
    }
}

void KeepWhole(std::string_view bytes, PackedDatagram* pPacked) {
    pPacked->reference.reset();
    pPacked->own.assign(bytes.data(), bytes.size());
}

void UnpackDatagram(const PackedDatagram& packed, std::string* pBytes) {
    if (packed.reference == nullptr) {
        *pBytes = packed.own;
        return;
    }
    const std::string& reference = *packed.reference;
    if (packed.own.empty()) {
        *pBytes = reference;
        return;
    }
    pBytes->clear();
    const std::string& own = packed.own;
    size_t at = 0;
    size_t count = 0;
    while (GetVarint(own, &at, &count) && count <= own.size() - at) {
        pBytes->append(own, at, count);
        at += count;
        if (at == own.size()) {
            return;
        }
        size_t from = 0;
        if (!GetVarint(own, &at, &count) || !GetVarint(own, &at, &from) ||
            from > reference.size() || count > reference.size() - from) {
            break;
        }
        pBytes->append(reference, from, count);
    }
    LOG_ERROR("packed datagram malformed at %lu", static_cast<unsigned long>(at));
}

size_t PackedSize(const PackedDatagram& packed) {
    return packed.own.size();
}
