#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#endif

#include <set>
#include <string>

#include "common/common_error.h"
#include "common/common_util.h"
#include "test_support.h"

namespace {

uint32_t Ip(const char* pText) {
    return ntohl(inet_addr(pText));
}

TEST(CipherTest, KnownTextsAndTheAlphabet) {
    CSecretText out;
    ASSERT_EQ(RESULT_OK, Text2CipherString(CSecretText("A"), out));
    EXPECT_EQ("lD", out.View());  // 0x41 ^ 0xB6 = 0xF7
    ASSERT_EQ(RESULT_OK, Text2CipherString(CSecretText("AA"), out));
    EXPECT_EQ("lD!I", out.View());  // the second byte uses the complemented key 0x49
    ASSERT_EQ(RESULT_OK, Text2CipherString(CSecretText(""), out));
    EXPECT_EQ("vacantcipher", out.View());

    // Every byte value, at an even and an odd position, maps into the sixteen characters.
    const std::string alphabet = "!&+05:?DINSX]bgl";
    char input[512];
    for (int i = 0; i < 512; ++i) {
        input[i] = static_cast<char>(i / 2);
    }
    char output[1025];
    ASSERT_EQ(RESULT_OK, Text2Cipher(input, sizeof(input), output, sizeof(output)));
    EXPECT_EQ('\0', output[1024]);
    std::set<std::string> pairs;
    for (int i = 0; i < 1024; i += 2) {
        ASSERT_NE(std::string::npos, alphabet.find(output[i]));
        ASSERT_NE(std::string::npos, alphabet.find(output[i + 1]));
        pairs.insert(std::string(output + i, 2));
    }
    EXPECT_EQ(256u, pairs.size()) << "each byte gives its own pair of characters";
}

TEST(CipherTest, OutputSizes) {
    char out[64];
    EXPECT_EQ(ERR_INVALID_PARAM, Text2Cipher(nullptr, 1, out, sizeof(out)));
    EXPECT_EQ(ERR_INVALID_PARAM, Text2Cipher("a", 1, nullptr, sizeof(out)));
    EXPECT_EQ(ERR_NO_MEMORY, Text2Cipher("abc", 3, out, 6));
    EXPECT_EQ(RESULT_OK, Text2Cipher("abc", 3, out, 7));
    EXPECT_EQ(6u, strlen(out));
    EXPECT_EQ(ERR_NO_MEMORY, Text2Cipher("", 0, out, 12));
    ASSERT_EQ(RESULT_OK, Text2Cipher("", 0, out, 13));
    EXPECT_STREQ("vacantcipher", out);
    ASSERT_EQ(RESULT_OK, Text2Cipher("\0", 1, out, 3));
    EXPECT_STREQ("X?", out) << "a NUL inside the length is scrambled too";
}

TEST(CipherTest, StringFormTakes127BytesAndRefuses128) {
    CSecretText out("unchanged");
    ASSERT_EQ(RESULT_OK, Text2CipherString(CSecretText(std::string(127, 'p')), out));
    EXPECT_EQ(254u, out.Size());
    out = CSecretText("unchanged");
    EXPECT_EQ(ERR_NO_MEMORY, Text2CipherString(CSecretText(std::string(128, 'p')), out));
    EXPECT_EQ("unchanged", out.View());
    ASSERT_EQ(RESULT_OK, Text2CipherString(CSecretText(std::string("A\0B", 3)), out));
    EXPECT_EQ("lD", out.View()) << "the text ends at its first NUL";
}

TEST(AddressTest, HostAddresses) {
    struct {
        const char* pAddr;
        bool valid;
    } cases[] = {
        {"1.0.0.1", true},      {"223.255.255.254", true},  {"10.255.255.1", true},
        {"192.168.1.10", true}, {"0.1.2.3", false},         {"127.0.0.1", false},
        {"224.0.0.1", false},   {"255.255.255.255", false}, {"10.0.0.0", false},
        {"10.0.0.255", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.valid, IsValidHostAddr(Ip(c.pAddr))) << c.pAddr;
    }
}

TEST(AddressTest, Masks) {
    struct {
        const char* pMask;
        bool valid;
    } cases[] = {
        {"255.255.255.0", true},  {"255.255.255.255", true},  {"128.0.0.0", true},
        {"0.0.0.0", true},        {"255.255.254.0", true},    {"255.0.255.0", false},
        {"0.255.255.255", false}, {"255.255.255.253", false}, {"127.255.255.255", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.valid, IsValidMask(Ip(c.pMask))) << c.pMask;
    }
}

TEST(AddressTest, SameSubnet) {
    EXPECT_TRUE(IsSameSubnet(Ip("192.168.1.10"), Ip("192.168.1.1"), Ip("255.255.255.0")));
    EXPECT_FALSE(IsSameSubnet(Ip("192.168.2.10"), Ip("192.168.1.1"), Ip("255.255.255.0")));
    EXPECT_TRUE(IsSameSubnet(Ip("192.168.2.10"), Ip("192.168.1.1"), Ip("255.255.0.0")));
    EXPECT_TRUE(IsSameSubnet(Ip("10.0.0.1"), Ip("172.16.0.1"), 0));
}

TEST(AddressTest, DottedText) {
    std::string out;
    ASSERT_EQ(RESULT_OK, IpToString(htonl(0xC0A8010A), out));
    EXPECT_EQ("192.168.1.10", out);
    ASSERT_EQ(RESULT_OK, IpToString(inet_addr("255.255.255.255"), out));
    EXPECT_EQ("255.255.255.255", out);
    ASSERT_EQ(RESULT_OK, IpToString(0, out));
    EXPECT_EQ("0.0.0.0", out);
}

TEST(UuidTest, ThirdGroupLowerCaseOthersUpperCase) {
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        std::string uuid = CreateUuidString();
        EXPECT_TRUE(MatchesShape(uuid, "XXXXXXXX-XXXX-4xxx-XXXX-XXXXXXXXXXXX"))
            << uuid;  // random UUID
        EXPECT_NE(std::string::npos, std::string("89AB").find(uuid[19]))
            << uuid;  // RFC 4122 variant
        seen.insert(uuid);
    }
    EXPECT_EQ(50u, seen.size());
}

TEST(FileNameTest, BaseNameAfterEitherSeparator) {
    struct {
        const char* pPath;
        const char* pName;
    } cases[] = {
        {"/home/u/src/common/common_log.cpp", "common_log.cpp"},
        {"common_log.cpp", "common_log.cpp"},
        {"C:\\src\\mc\\mc_discovery.cpp", "mc_discovery.cpp"},
        {"a/b\\c.cpp", "c.cpp"},
        {"src/common/", ""},
        {"src\\", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        const char* pName = GetFileName(c.pPath);
        ASSERT_NE(nullptr, pName);
        EXPECT_STREQ(c.pName, pName) << c.pPath;
    }
    EXPECT_EQ(nullptr, GetFileName(nullptr));
}

TEST(LocalTimeTest, AppendsAStampPerCall) {
    std::string out = "at ";
    GetLocalTimeString("%04d-%02d-%02d %02d:%02d:%02d.%03d", out);
    out += " and ";
    GetLocalTimeString("%04d-%02d-%02d %02d:%02d:%02d.%03d", out);
    EXPECT_TRUE(MatchesShape(out, std::string("at ") + kStampShape + " and " + kStampShape)) << out;
    std::string before = out;
    GetLocalTimeString(nullptr, out);
    EXPECT_EQ(before, out) << "a null format leaves the output alone";
}

}  // namespace
