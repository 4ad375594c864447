// The keyed hash against the reference vectors of SipHash-2-4.

#include <gtest/gtest.h>

#include <cstdint>

#include "front/front_hash.h"

namespace {

TEST(FrontHash, ReferenceVectors) {
    // Key 00 01 .. 0f; the message of length n is the bytes 00 01 .. n-1.
    const SipKey key{0x0706050403020100ull, 0x0f0e0d0c0b0a0908ull};
    uint8_t message[64];
    for (int i = 0; i < 64; ++i) {
        message[i] = static_cast<uint8_t>(i);
    }
    const struct {
        size_t length;
        uint64_t hash;
    } cases[] = {
        {0, 0x726fdb47dd0e0e31ull},  {1, 0x74f839c593dc67fdull},  {7, 0xab0200f58b01d137ull},
        {8, 0x93f5f5799a932462ull},  {15, 0xa129ca6149be45e5ull}, {16, 0x3f2acc7f57c29bdbull},
        {63, 0x958a324ceb064572ull},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SipHash24(key, message, c.length), c.hash) << c.length;
    }
}

TEST(FrontHash, ProcessKeyIsDrawnOnce) {
    const SipKey& first = ProcessSipKey();
    EXPECT_EQ(&first, &ProcessSipKey());
    EXPECT_FALSE(first.k0 == 0 && first.k1 == 0);
}

}  // namespace
