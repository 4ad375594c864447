#pragma once

// A keyed hash for tables that hold what devices send: without the key, a sender cannot
// choose texts that collide and turn each look-up into a walk through the whole table.

#include <cstddef>
#include <cstdint>

struct SipKey {
    uint64_t k0;
    uint64_t k1;
};

// SipHash-2-4 of the bytes under the key.
uint64_t SipHash24(const SipKey& key, const void* pData, size_t size);

// A random key, drawn once per process.
const SipKey& ProcessSipKey();
