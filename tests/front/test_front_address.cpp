// Address texts, the default mask and the checks of a new address and of a search range.

#include <gtest/gtest.h>

#include "front/front_address.h"
#include "front/front_strings.h"

namespace {

uint32_t Ip(const char* pText) {
    uint32_t address = 0;
    EXPECT_TRUE(ParseIpv4(pText, &address)) << pText;
    return address;
}

TEST(FrontAddress, OnlyDottedQuadsParse) {
    uint32_t address = 0;
    ASSERT_TRUE(ParseIpv4("192.168.1.20", &address));
    EXPECT_EQ(address, 0xC0A80114u);
    ASSERT_TRUE(ParseIpv4("255.255.255.255", &address));
    EXPECT_EQ(address, 0xFFFFFFFFu);
    for (const char* pText :
         {"", "10.1", "10.0.0.256", "010.0.0.5", "0x0a.0.0.5", "10.0.0.5 ", "camera", "10.0.0.5.6",
          " 10.0.0.5", "10..0.5", "10.0.0.", "1000.0.0.1", "-1.0.0.1", "+1.0.0.1", "10.0.0.00"}) {
        address = 7;
        EXPECT_FALSE(ParseIpv4(pText, &address)) << pText;
        EXPECT_EQ(address, 7u) << pText;
        EXPECT_EQ(IpTextToHost(pText), 0xFFFFFFFFu) << pText;
    }
    // A text that goes on behind a NUL is not the address before it.
    EXPECT_FALSE(ParseIpv4(std::string("10.0.0.5\0x", 10), &address));
    EXPECT_EQ(IpTextToHost("10.0.0.5"), 0x0A000005u);
    EXPECT_EQ(HostToIpText(0xC0A80114u), "192.168.1.20");
    EXPECT_EQ(HostToIpText(0), "0.0.0.0");
}

TEST(FrontAddress, DefaultMaskByTheFirstField) {
    const struct {
        const char* ip;
        const char* mask;
    } cases[] = {
        {"10.1.2.3", "255.0.0.0"},      {"126.255.255.254", "255.0.0.0"},
        {"127.0.0.5", "255.255.0.0"},   {"172.16.0.5", "255.255.0.0"},
        {"191.255.0.1", "255.255.0.0"}, {"192.168.1.20", "255.255.255.0"},
        {"223.1.1.1", "255.255.255.0"}, {"0.0.0.0", "255.0.0.0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HostToIpText(DefaultMaskOf(Ip(c.ip))), c.mask) << c.ip;
    }
}

TEST(FrontAddress, NewAddressChecksInOrder) {
    const struct {
        const char* ip;
        const char* mask;
        const char* gateway;
        int refusal;
    } cases[] = {
        {"192.168.1.20", "255.255.255.0", "0.0.0.0", 0},
        {"192.168.1.20", "255.255.255.0", "192.168.1.1", 0},
        {"192.168.1.20", "255.255.255.0", "192.168.2.1", IDS_INVALID_GATEWAY},
        {"192.168.1.20", "255.255.255.0", "192.168.1.255", IDS_INVALID_GATEWAY},
        {"192.168.1.20", "0.0.0.0", "10.9.8.7", 0},  // mask 0: every gateway is in the subnet
        {"192.168.1.255", "255.255.255.0", "0.0.0.0", IDS_INVALID_HOST_IP},
        {"192.168.1.0", "255.255.255.0", "0.0.0.0", IDS_INVALID_HOST_IP},
        {"127.0.0.1", "255.0.0.0", "0.0.0.0", IDS_INVALID_HOST_IP},
        {"224.0.0.1", "255.255.255.0", "0.0.0.0", IDS_INVALID_HOST_IP},
        {"10.0.0.5", "255.0.255.0", "0.0.0.0", IDS_INVALID_MASK},
        {"10.0.0.0", "255.0.255.0", "1.2.3.4", IDS_INVALID_HOST_IP},  // the address goes first
        {"10.0.0.5", "255.255.255.253", "10.0.0.1", IDS_INVALID_MASK},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckNewAddress(Ip(c.ip), Ip(c.mask), Ip(c.gateway)), c.refusal)
            << c.ip << " " << c.mask << " " << c.gateway;
    }
}

TEST(FrontAddress, RangeIsOrderedAndHoldsAtMost257Addresses) {
    const struct {
        const char* begin;
        const char* end;
        int refusal;
    } cases[] = {
        {"0.0.0.0", "0.0.0.0", 0},
        {"10.0.0.8", "10.0.0.8", 0},
        {"192.168.1.0", "192.168.2.0", 0},  // 257 addresses
        {"192.168.1.200", "192.168.2.10", 0},
        {"192.168.1.0", "192.168.2.1", IDS_RANGE_SIZE},
        {"10.0.0.9", "10.0.0.8", IDS_RANGE_ORDER},
        {"255.255.255.0", "255.255.255.255", 0},
        {"0.0.0.0", "255.255.255.255", IDS_RANGE_SIZE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckRange(Ip(c.begin), Ip(c.end)), c.refusal) << c.begin << " " << c.end;
    }
}

}  // namespace
