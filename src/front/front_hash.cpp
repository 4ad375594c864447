#include "front/front_hash.h"

#include <random>

namespace {

uint64_t Rotl(uint64_t x, int b) {
    return (x << b) | (x >> (64 - b));
}

struct SipState {
    uint64_t v0, v1, v2, v3;

    void Round() {
        v0 += v1;
        v1 = Rotl(v1, 13);
        v1 ^= v0;
        v0 = Rotl(v0, 32);
        v2 += v3;
        v3 = Rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = Rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = Rotl(v1, 17);
        v1 ^= v2;
        v2 = Rotl(v2, 32);
    }

    void Compress(uint64_t m) {
        v3 ^= m;
        Round();
        Round();
        v0 ^= m;
    }
};

// Little-endian 64-bit word of up to eight bytes.
uint64_t Word(const unsigned char* p, size_t count) {
    uint64_t m = 0;
    for (size_t i = 0; i < count; ++i) {
        m |= static_cast<uint64_t>(p[i]) << (8 * i);
    }
    return m;
}

}  // namespace

uint64_t SipHash24(const SipKey& key, const void* pData, size_t size) {
    SipState s{key.k0 ^ 0x736f6d6570736575ull, key.k1 ^ 0x646f72616e646f6dull,
               key.k0 ^ 0x6c7967656e657261ull, key.k1 ^ 0x7465646279746573ull};
    const unsigned char* p = static_cast<const unsigned char*>(pData);
    const size_t whole = size - size % 8;
    for (size_t i = 0; i < whole; i += 8) {
        s.Compress(Word(p + i, 8));
    }
    s.Compress(Word(p + whole, size % 8) | (static_cast<uint64_t>(size & 0xFF) << 56));
    s.v2 ^= 0xFF;
    for (int i = 0; i < 4; ++i) {
        s.Round();
    }
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

const SipKey& ProcessSipKey() {
    static const SipKey key = []() {
        std::random_device random;
        auto draw = [&random]() {
            return (static_cast<uint64_t>(random()) << 32) ^ static_cast<uint64_t>(random());
        };
        return SipKey{draw(), draw()};
    }();
    return key;
}
