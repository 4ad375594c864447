// scoutcam-cli end to end against simulated cameras in the virtual LAN. The program runs as
// a child of the test, in the client namespace.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lan_fixture.h"

namespace {

struct CliRun {
    int status = -1;
    std::string out;
};

// Runs scoutcam-cli with the arguments (shell words) and the given standard input.
CliRun Cli(const std::string& tmpDir, const std::string& args, const std::string& input = "") {
    const std::string command = "printf '%s' '" + input + "' | TMPDIR=" + tmpDir + " " +
                                SCOUTCAM_CLI + " " + args + " 2>/dev/null";
    CliRun run;
    FILE* pPipe = popen(command.c_str(), "r");
    if (pPipe == nullptr) {
        return run;
    }
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof(buffer), pPipe)) > 0) {
        run.out.append(buffer, got);
    }
    const int status = pclose(pPipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// Every value of "key": "..." in the printed JSON, in order.
std::vector<std::string> JsonValues(const std::string& json, const std::string& key) {
    const std::string open = "\"" + key + "\": \"";
    std::vector<std::string> values;
    for (size_t at = json.find(open); at != std::string::npos; at = json.find(open, at)) {
        at += open.size();
        const size_t end = json.find('"', at);
        values.push_back(json.substr(at, end - at));
    }
    return values;
}

// "00-1B-D3-01-00-01": six pairs of upper-case hex digits joined by '-'.
bool IsMacText(const std::string& mac) {
    if (mac.size() != 17) {
        return false;
    }
    for (size_t i = 0; i < mac.size(); ++i) {
        const char c = mac[i];
        const bool ok = i % 3 == 2 ? c == '-' : (isdigit(c) != 0 || (c >= 'A' && c <= 'F'));
        if (!ok) {
            return false;
        }
    }
    return true;
}

// camsim's fleet listing as JSON lines.
std::string Fleet(const char* pBase, const char* pSeed, int count) {
    const std::string command = std::string(CTestLan::Camsim()) + " --list json --base " + pBase +
                                " --seed " + pSeed + " --count " + std::to_string(count);
    std::string out;
    FILE* pPipe = popen(command.c_str(), "r");
    char buffer[4096];
    size_t got = 0;
    while (pPipe != nullptr && (got = fread(buffer, 1, sizeof(buffer), pPipe)) > 0) {
        out.append(buffer, got);
    }
    if (pPipe != nullptr) {
        pclose(pPipe);
    }
    return out;
}

std::string Field(const std::string& json, size_t device, const std::string& key) {
    size_t at = 0;
    for (size_t i = 0; i <= device; ++i) {
        at = json.find("{\"ip\"", at + 1);
    }
    const std::string marker = "\"" + key + "\": \"";
    const size_t start = json.find(marker, at) + marker.size();
    return json.substr(start, json.find('"', start) - start);
}

class CliLan : public ::testing::Test {
protected:
    void SetUp() override {
        std::string reason;
        if (!m_lan.Up(&reason)) {
            GTEST_SKIP() << reason;
        }
        char pattern[] = "/tmp/scoutcam-cli-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_tmp = pattern;
    }
    void TearDown() override {
        if (!m_tmp.empty()) {
            std::system(("rm -rf " + m_tmp).c_str());
        }
    }

    CTestLan m_lan;
    std::string m_tmp;
};

TEST_F(CliLan, SearchPrintsEachDeviceOnceAsTableJsonAndCsv) {
    ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", "3"}));
    ASSERT_TRUE(m_lan.StartCamsim('b', {"--count", "2", "--behave", "dup=2"}));
    const std::string fleetA = Fleet("198.18.0.10", "1", 3);
    const std::string fleetB = Fleet("198.19.0.10", "2", 2);

    // Every device answers both probes (and those of B twice): listed once.
    const CliRun table = Cli(m_tmp, "search --window 1000");
    EXPECT_EQ(table.status, 0);
    EXPECT_EQ(table.out.rfind("IP address  ", 0), 0u) << table.out;
    EXPECT_NE(table.out.find("Total: 5\n"), std::string::npos) << table.out;
    EXPECT_EQ(Count(table.out, "\n"), 7u);

    const CliRun json = Cli(m_tmp, "search --window 1000 --json");
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(Count(json.out, "\"ipAddress\""), 5u) << json.out;
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_NE(json.out.find("\"ipAddress\": \"" + Field(fleetA, i, "ip") + "\", \"type\": \""),
                  std::string::npos);
        EXPECT_NE(json.out.find("\"serialNumber\": \"" + Field(fleetA, i, "serial") + "\""),
                  std::string::npos);
        EXPECT_NE(json.out.find("\"macAddr\": \"" + Field(fleetA, i, "mac") + "\""),
                  std::string::npos);
    }
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_NE(json.out.find("\"serialNumber\": \"" + Field(fleetB, i, "serial") + "\""),
                  std::string::npos);
    }

    // The maker's devices send bare digits, the others colons: one MAC text in every format.
    EXPECT_EQ(Field(fleetA, 0, "mac").find(':'), std::string::npos);
    EXPECT_NE(Field(fleetA, 1, "mac").find(':'), std::string::npos);
    const std::vector<std::string> macs = JsonValues(json.out, "physicalAddress");
    for (const std::string& mac : macs) {
        EXPECT_TRUE(IsMacText(mac)) << mac;
        EXPECT_NE(table.out.find("  " + mac + "  "), std::string::npos) << mac;
    }
    EXPECT_EQ(macs.size(), 5u);

    const CliRun csv = Cli(m_tmp, "search --window 1000 --csv --range 198.18.0.11 198.18.0.12");
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out.rfind("IP address,Type,Serial Number,Physical address,Version,Interface,"
                            "Local address\r\n",
                            0),
              0u);
    EXPECT_EQ(Count(csv.out, "\r\n"), 3u) << csv.out;
    EXPECT_NE(csv.out.find("\r\n198.18.0.11," + std::string()), std::string::npos);
    EXPECT_NE(csv.out.find("\r\n198.18.0.12,"), std::string::npos);
    EXPECT_NE(csv.out.find(",00-1B-"), std::string::npos) << csv.out;
    EXPECT_EQ(csv.out.find(':'), std::string::npos) << csv.out;

    // The log went to $TMPDIR at DEBUG.
    FILE* pLog = fopen((m_tmp + "/scoutcam.log").c_str(), "r");
    ASSERT_NE(pLog, nullptr);
    char line[2048];
    bool debug = false;
    while (fgets(line, sizeof(line), pLog) != nullptr) {
        debug = debug || std::string(line).find("[DEBUG]") != std::string::npos;
    }
    fclose(pLog);
    EXPECT_TRUE(debug);
}

TEST_F(CliLan, EachDeviceIsShownWithTheInterfaceItsAnswerCameIn) {
    ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", "3"}));
    ASSERT_TRUE(m_lan.StartCamsim('b', {"--count", "2"}));
    const struct {
        const char* network;  // the segment's devices
        const char* interface;
        const char* local;
        size_t count;
    } segments[] = {{"198.18.0.", "eth0", "198.18.0.1", 3}, {"198.19.0.", "eth1", "198.19.0.1", 2}};

    const CliRun json = Cli(m_tmp, "search --window 1000 --json");
    EXPECT_EQ(json.status, 0);
    const std::vector<std::string> ips = JsonValues(json.out, "ipAddress");
    const std::vector<std::string> interfaces = JsonValues(json.out, "interface");
    const std::vector<std::string> locals = JsonValues(json.out, "localAddress");
    ASSERT_EQ(interfaces.size(), ips.size()) << json.out;
    ASSERT_EQ(locals.size(), ips.size()) << json.out;
    size_t devices = 0;
    for (size_t i = 0; i < ips.size(); ++i) {
        for (const auto& segment : segments) {
            if (ips[i].rfind(segment.network, 0) == 0) {
                EXPECT_EQ(interfaces[i], segment.interface) << ips[i];
                EXPECT_EQ(locals[i], segment.local) << ips[i];
                ++devices;
            }
        }
    }
    EXPECT_EQ(devices, 5u) << json.out;

    const CliRun table = Cli(m_tmp, "search --window 1000");
    EXPECT_NE(table.out.find("  Interface\n"), std::string::npos) << table.out;
    for (const auto& segment : segments) {
        const std::string shown =
            std::string("  ") + segment.interface + " " + segment.local + "\n";
        EXPECT_EQ(Count(table.out, shown), segment.count) << table.out;
    }

    const CliRun csv = Cli(m_tmp, "search --window 1000 --csv --address 198.19.0.11");
    EXPECT_NE(csv.out.find(",Interface,Local address\r\n198.19.0.11,"), std::string::npos)
        << csv.out;
    EXPECT_NE(csv.out.find(",eth1,198.19.0.1\r\n"), std::string::npos) << csv.out;

    // The log names the interface of each accepted answer.
    std::ifstream log(m_tmp + "/scoutcam.log");
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("from 198.19.0.11:3702 on eth1 198.19.0.1"), std::string::npos);
}

TEST_F(CliLan, ConfigurationCommandsEndToEnd) {
    ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", "3"}));
    const std::string fleet = Fleet("198.18.0.10", "1", 3);
    const std::string password = Field(fleet, 1, "password");

    // A wrong password: the device's refusal, exit status 1.
    CliRun run =
        Cli(m_tmp, "set-address --window 500 --device 198.18.0.11 --ip 198.18.0.60", "wrong\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Device password error.\n");

    run = Cli(m_tmp,
              "set-address --window 500 --device 198.18.0.11 --ip 198.18.0.60 --mask "
              "255.255.0.0",
              password + "\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Succeed\n");
    run = Cli(m_tmp, "search --window 500 --csv --address 198.18.0.60");
    EXPECT_NE(run.out.find("\r\n198.18.0.60,"), std::string::npos) << run.out;

    // Named by serial and MAC, by broadcast; the serial code from standard input.
    run = Cli(m_tmp,
              "restore-password --serial " + Field(fleet, 2, "serial") + " --mac " +
                  Field(fleet, 2, "mac"),
              Field(fleet, 2, "code"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Succeed\n");

    run = Cli(m_tmp, "restore-password --window 500 --device 198.18.0.99", "x\n");
    EXPECT_EQ(run.status, 3);
    run = Cli(m_tmp, "restore-password --device 198.18.0.10", "");
    EXPECT_EQ(run.status, 2);  // no serial code on standard input
}

// Devices behind links that lose datagrams: without --repeat a search finds none of them, with
// --repeat 2 every one, each listed once although it answers every copy that reaches it.
TEST_F(CliLan, RepeatFindsDevicesBehindLossyLinks) {
    const struct {
        const char* name;
        const char* lossy;  // behaviour of every device: losing one round of this search
        bool segmentB;
        const char* args;
        std::vector<std::string> listed;
    } cases[] = {
        // An Auto Search reaches each device twice: the probe and the vendor probe.
        {"auto",
         "drop=2",
         true,
         "search --window 1000 --csv",
         {"198.18.0.10", "198.18.0.11", "198.18.0.12", "198.19.0.10", "198.19.0.11"}},
        {"range",
         "drop=1",
         false,
         "search --window 1000 --csv --range 198.18.0.10 198.18.0.12",
         {"198.18.0.10", "198.18.0.11", "198.18.0.12"}},
        {"address",
         "drop=1",
         false,
         "search --window 1000 --csv --address 198.18.0.11",
         {"198.18.0.11"}},
    };
    for (const auto& c : cases) {
        for (const bool repeat : {false, true}) {
            ASSERT_TRUE(m_lan.StartCamsim('a', {"--count", "3", "--behave", c.lossy}));
            if (c.segmentB) {
                ASSERT_TRUE(m_lan.StartCamsim('b', {"--count", "2", "--behave", c.lossy}));
            }
            const CliRun run = Cli(m_tmp, std::string(c.args) + (repeat ? " --repeat 2" : ""));
            EXPECT_EQ(run.status, 0) << c.name;
            const size_t rows = repeat ? c.listed.size() : 0;
            EXPECT_EQ(Count(run.out, "\r\n"), 1 + rows) << c.name << " repeat " << repeat << "\n"
                                                        << run.out;
            for (size_t i = 0; i < rows; ++i) {
                EXPECT_EQ(Count(run.out, "\r\n" + c.listed[i] + ","), 1u) << c.name << run.out;
            }
            m_lan.StopCamsim('a');
            if (c.segmentB) {
                m_lan.StopCamsim('b');
            }
        }
    }
}

}  // namespace
