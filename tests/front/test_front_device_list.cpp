// The device list rule: range filter, six-field duplicates, keys; the columns and the MAC text.

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "front/front_address.h"
#include "front/front_device_list.h"
#include "front/front_strings.h"
#include "fake_client.h"

namespace {

TEST(FrontMac, OneTextForEveryForm) {
    const struct {
        const char* stored;
        const char* shown;
    } cases[] = {
        {"0012abcdef01", "00-12-AB-CD-EF-01"},       // the maker's bare twelve digits
        {"00:1b:d3:01:00:01", "00-1B-D3-01-00-01"},  // colons
        {"00-1b-89-01-00-0a", "00-1B-89-01-00-0A"},  // dashes
        {"00:1B-d3:01-00:01", "00-1B-D3-01-00-01"},  // mixed
        {"abc", "AB-C"},                             // odd length
        {"", ""},
        {"a", "A"},
        {"ab", "AB"},
        {"::--", ""},
        {"0012 abcdef01", "00-12- A-BC-DE-F0-1"},  // other characters are kept as sent
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatMacAddr(c.stored), c.shown) << c.stored;
    }
}

TEST(FrontMac, CharactersOfSeveralBytesStayWhole) {
    const char* pSaved = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = pSaved ? pSaved : "C";
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
        GTEST_SKIP() << "no C.UTF-8 locale";
    }
    // a, e acute (2 bytes), b, euro sign (3 bytes), c
    EXPECT_EQ(FormatMacAddr("a\xC3\xA9"
                            "b\xE2\x82\xAC"
                            "c"),
              "A\xC3\xA9-B\xE2\x82\xAC-C");
    // A byte that starts no character counts as one.
    EXPECT_EQ(FormatMacAddr("\xFF"
                            "a:b"),
              "\xFF"
              "A-B");
    std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(FrontColumns, TitlesAndCells) {
    const char* const titles[] = {"IP address", "Type", "Serial Number", "Physical address",
                                  "Version"};
    CDiscoveryBean device = FakeDevice("10.0.0.5", "SN-1", "00:1b:d3:01:00:01");
    device.m_version = "V2";
    const char* const cells[] = {"10.0.0.5", "IPC-1", "SN-1", "00-1B-D3-01-00-01", "V2"};
    ASSERT_EQ(DEVICE_COL_COUNT, 5);
    for (int c = 0; c < DEVICE_COL_COUNT; ++c) {
        EXPECT_STREQ(LoadResText(GetColumnTitleId(c)), titles[c]);
        EXPECT_EQ(GetDeviceCell(device, c), cells[c]);
    }
    EXPECT_EQ(GetColumnTitleId(DEVICE_COL_COUNT), 0);
    EXPECT_EQ(GetDeviceCell(device, -1), "");
}

TEST(FrontDeviceList, ListsEachRecordOnceUnlessAFieldDiffers) {
    CDeviceList list;
    const CDiscoveryBean a = FakeDevice("198.18.0.10", "A");
    EXPECT_EQ(list.Add(a), 0);
    EXPECT_EQ(list.Add(a), -1);
    int next = 1;
    // Each of the six fields alone makes a further record, even at the same address.
    for (int field = 0; field < 6; ++field) {
        CDiscoveryBean other = a;
        switch (field) {
        case 0:
            other.m_ipAddr = "198.18.0.11";
            break;
        case 1:
            other.m_hardware = "IPC-2";
            break;
        case 2:
            other.m_serialNo = "B";
            break;
        case 3:
            other.m_version = "V2";
            break;
        case 4:
            other.m_macAddr = "00:12:ab:cd:ef:01";  // the same MAC shown, another text sent
            break;
        case 5:
            other.m_foreign = 1;
            break;
        }
        EXPECT_EQ(list.Add(other), next++) << field;
        EXPECT_EQ(list.Add(other), -1) << field;
    }
    EXPECT_EQ(list.Size(), 7u);
    // Fields are not run together: "ab" + "c" is not "a" + "bc".
    CDiscoveryBean split1 = a;
    split1.m_hardware = "ab";
    split1.m_serialNo = "c";
    CDiscoveryBean split2 = a;
    split2.m_hardware = "a";
    split2.m_serialNo = "bc";
    EXPECT_EQ(list.Add(split1), 7);
    EXPECT_EQ(list.Add(split2), 8);

    const std::vector<CDiscoveryBean> records = list.Records();
    ASSERT_EQ(records.size(), 9u);
    EXPECT_TRUE(records[0] == a);
    EXPECT_TRUE(records[8] == split2);
    ASSERT_NE(list.Find(8), nullptr);
    EXPECT_TRUE(*list.Find(8) == split2);
    EXPECT_EQ(list.Find(9), nullptr);

    list.Clear();
    EXPECT_EQ(list.Size(), 0u);
    EXPECT_EQ(list.Find(0), nullptr);
    EXPECT_EQ(list.Add(a), 0);  // keys start again
}

TEST(FrontDeviceList, ExactSearchKeepsItsInclusiveRange) {
    CDeviceList list;
    list.SetRange(true, IpTextToHost("198.18.0.10"), IpTextToHost("198.18.0.20"));
    const struct {
        const char* ip;
        bool listed;
    } cases[] = {
        {"198.18.0.9", false},  {"198.18.0.10", true}, {"198.18.0.20", true},
        {"198.18.0.21", false}, {"198.18.0.15", true}, {"10.0.0.15", false},
        {"not-an-ip", false},   {"", false},           {"198.18.0.015", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(list.Add(FakeDevice(c.ip, c.ip)) >= 0, c.listed) << c.ip;
    }

    // A range up to 255.255.255.255 still refuses a text that is no address.
    list.Clear();
    list.SetRange(true, IpTextToHost("255.255.255.0"), IpTextToHost("255.255.255.255"));
    EXPECT_EQ(list.Add(FakeDevice("camera", "x")), -1);
    EXPECT_EQ(list.Add(FakeDevice("255.255.255.255", "y")), 0);

    // Auto Search takes every address, texts that are none included.
    list.Clear();
    list.SetRange(false, 0, 0);
    EXPECT_EQ(list.Add(FakeDevice("camera", "x")), 0);
    EXPECT_EQ(list.Add(FakeDevice("10.0.0.1", "y")), 1);
}

TEST(FrontDeviceList, ReplacedRecordIsFoundByItsNewContent) {
    CDeviceList list;
    const CDiscoveryBean before = FakeDevice("198.18.0.10", "A");
    CDiscoveryBean after = before;
    after.m_ipAddr = "198.18.0.50";
    ASSERT_EQ(list.Add(before), 0);
    EXPECT_TRUE(list.Replace(0, after));
    EXPECT_FALSE(list.Replace(1, after));
    EXPECT_TRUE(*list.Find(0) == after);
    EXPECT_EQ(list.Add(after), -1);  // listed under its new address
    EXPECT_EQ(list.Add(before), 1);  // the old content is no longer listed

    // Two keys with equal records: replacing one leaves the other found.
    EXPECT_TRUE(list.Replace(1, after));
    EXPECT_TRUE(list.Replace(0, before));
    EXPECT_EQ(list.Add(after), -1);
    EXPECT_EQ(list.Add(before), -1);
}

TEST(FrontDeviceList, LargeFleetListedOnce) {
    // Every record twice, as from the multicast and the broadcast probe.
    CDeviceList list;
    const int devices = 20000;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < devices; ++i) {
            const std::string ip = HostToIpText(0x0A000000u + static_cast<uint32_t>(i) + 1);
            const int key = list.Add(FakeDevice(ip.c_str(), "S"));
            EXPECT_EQ(key, round == 0 ? i : -1);
        }
    }
    EXPECT_EQ(list.Size(), static_cast<size_t>(devices));
}

TEST(FrontDeviceList, AFloodListsNoMoreThanTheCapUntilTheNextSearch) {
    CDeviceList list;
    const uint32_t flood = static_cast<uint32_t>(kMaxListedDevices) + 1000;
    size_t listed = 0;
    for (uint32_t i = 0; i < flood; ++i) {
        const std::string ip = HostToIpText(0x0A000000u + i + 1);
        listed += list.Add(FakeDevice(ip.c_str(), "S")) >= 0 ? 1 : 0;
    }
    EXPECT_EQ(listed, kMaxListedDevices);
    EXPECT_EQ(list.Size(), kMaxListedDevices);
    EXPECT_EQ(list.Add(FakeDevice("192.0.2.1", "new")), -1);
    ASSERT_NE(list.Find(0), nullptr);
    EXPECT_EQ(list.Find(0)->m_ipAddr, "10.0.0.1");

    list.Clear();
    EXPECT_EQ(list.Add(FakeDevice("192.0.2.1", "new")), 0);
}

// Where an answer came in is no part of the device: the same device seen on two interfaces
// is listed once, with the first.
TEST(FrontDeviceList, TheInterfaceOfAnAnswerIsNoPartOfTheDevice) {
    CDeviceList list;
    CDiscoveryBean first = FakeDevice("10.0.0.5", "S");
    first.m_interface = "eth0";
    first.m_localAddr = "10.0.0.1";
    CDiscoveryBean second = first;
    second.m_interface = "eth1";
    second.m_localAddr = "10.1.0.1";
    EXPECT_EQ(list.Add(first), 0);
    EXPECT_EQ(list.Add(second), -1);
    EXPECT_EQ(list.Find(0)->m_interface, "eth0");
}

}  // namespace
