// scoutcam-cli's whole command flow on a client that sends nothing: arguments, the secret on
// standard input, the request the client gets, the printed result and the exit status.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "common/common_util.h"
#include "common/common_version.h"
#include "fake_client.h"
#include "freed_memory.h"
#include "front/front_address.h"

namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the command line with in as standard input; pClient is what the program would get from
// GetDiscoveryClient.
CliRun RunCliOn(const std::vector<const char*>& args, std::istream& in, IDiscoveryClient* pClient) {
    std::vector<const char*> argv = {"scoutcam-cli"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::ostringstream out;
    std::ostringstream err;
    CliIo io{in, out, err, false};
    CliOptions options;
    CSecretText secret;
    CliRun run;
    run.status = PrepareCommand(static_cast<int>(argv.size()), argv.data(), io, &options, &secret);
    if (run.status == CLI_RUN) {
        run.status = RunCommand(options, secret, pClient, io);
    }
    run.out = out.str();
    run.err = err.str();
    return run;
}

CliRun RunCli(const std::vector<const char*>& args, const std::string& input,
              IDiscoveryClient* pClient) {
    std::istringstream in(input);
    return RunCliOn(args, in, pClient);
}

// The maker's device sends bare digits, the other maker's the colon form; each answers twice.
class CliFlow : public ::testing::Test {
protected:
    void SetUp() override {
        const CDiscoveryBean a = FakeDevice("198.18.0.10", "KV-1", "001b89010001");
        const CDiscoveryBean b = FakeDevice("198.18.0.11", "OT-2", "00:1b:d3:01:00:01");
        m_client.SetFleet({a, b, a, b});
    }

    CFakeClient m_client;
};

TEST_F(CliFlow, SearchShowsEachDeviceOnceWithOneMacTextInEveryFormat) {
    CliRun run = RunCli({"search", "--window", "1"}, "", &m_client);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "IP address   Type   Serial Number  Physical address   Version  Interface\n"
              "198.18.0.10  IPC-1  KV-1           00-1B-89-01-00-01  V1\n"
              "198.18.0.11  IPC-1  OT-2           00-1B-D3-01-00-01  V1\n"
              "Total: 2\n");
    ASSERT_EQ(m_client.Searches().size(), 1u);
    EXPECT_EQ(m_client.Searches()[0].first, 0u);  // Auto Search
    EXPECT_TRUE(m_client.Stopped());
    EXPECT_FALSE(m_client.Attached());

    run = RunCli({"search", "--window", "1", "--json"}, "", &m_client);
    EXPECT_NE(run.out.find("\"physicalAddress\": \"00-1B-D3-01-00-01\", \"version\": \"V1\", "
                           "\"macAddr\": \"00:1b:d3:01:00:01\""),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"physicalAddress\": \"00-1B-89-01-00-01\""), std::string::npos);

    run = RunCli({"search", "--window", "1", "--csv"}, "", &m_client);
    EXPECT_EQ(run.out,
              "IP address,Type,Serial Number,Physical address,Version,Interface,Local address\r\n"
              "198.18.0.10,IPC-1,KV-1,00-1B-89-01-00-01,V1,,\r\n"
              "198.18.0.11,IPC-1,OT-2,00-1B-D3-01-00-01,V1,,\r\n");
}

TEST_F(CliFlow, RangeAndAddressSearchesListOnlyWhatTheyAsked) {
    CliRun run =
        RunCli({"search", "--window", "1", "--csv", "--range", "198.18.0.11", "198.18.0.20"}, "",
               &m_client);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.find("198.18.0.10"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\r\n198.18.0.11,"), std::string::npos) << run.out;
    EXPECT_EQ(m_client.ExactCalls(), 1);
    EXPECT_EQ(m_client.Searches().back(),
              std::make_pair(IpTextToHost("198.18.0.11"), IpTextToHost("198.18.0.20")));

    run = RunCli({"search", "--window", "1", "--address", "198.18.0.10"}, "", &m_client);
    EXPECT_NE(run.out.find("Total: 1\n"), std::string::npos) << run.out;
    EXPECT_EQ(m_client.ExactCalls(), 1);
    EXPECT_EQ(m_client.Searches().back().first, IpTextToHost("198.18.0.10"));
}

// The repeat count reaches the client before the search; each search of the command line
// says how often it repeats.
TEST_F(CliFlow, SearchRepeatGoesToTheClient) {
    CliRun run = RunCli({"search", "--window", "1", "--repeat", "3"}, "", &m_client);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(m_client.SearchCopies(), 3);
    EXPECT_NE(run.out.find("Total: 2\n"), std::string::npos) << run.out;

    run = RunCli({"search", "--window", "1", "--address", "198.18.0.10"}, "", &m_client);
    EXPECT_EQ(m_client.SearchCopies(), 1);

    run = RunCli({"search", "--repeat", "9"}, "", &m_client);
    EXPECT_EQ(run.status, EXIT_USAGE);
    EXPECT_EQ(m_client.Searches().size(), 2u);  // nothing probed
}

TEST_F(CliFlow, SetAddressOfTheDeviceAtAnAddress) {
    CliRun run = RunCli({"set-address", "--window", "1", "--device", "198.18.0.11", "--ip",
                         "198.18.0.60", "--gateway", "198.18.0.1"},
                        "secret\r\n", &m_client);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Succeed\n");
    const std::vector<CFakeClient::Request> requests = m_client.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const CFakeClient::Request& r = requests[0];
    EXPECT_EQ(r.kind, 1);
    EXPECT_EQ(r.target, IpTextToHost("198.18.0.11"));  // unicast to the device
    CSecretText cipher;
    ASSERT_EQ(Text2CipherString(CSecretText("secret"), cipher), 0);
    EXPECT_EQ(r.userName, "admin");
    EXPECT_EQ(r.authCode, cipher.View());
    EXPECT_EQ(r.device.m_serialNo, "OT-2");
    EXPECT_EQ(r.device.m_deviceId, "00:1b:d3:01:00:01");  // as the device sent it
    EXPECT_EQ(r.newAddr.m_ipAddr, "198.18.0.60");
    EXPECT_EQ(r.newAddr.m_mask, "255.255.255.0");  // the default of the address
    EXPECT_EQ(r.newAddr.m_gateway, "198.18.0.1");
    EXPECT_TRUE(m_client.Stopped());
}

// What a command gives back to the heap holds nothing of the password, its scrambled form or
// the serial code: from standard input to the request, every copy is wiped first. (The fake
// client's records of them belong to the test and go after the watch.)
TEST_F(CliFlow, SecretsLeaveNoCopyInReleasedMemory) {
    const std::string password = "a password long enough for the heap, 49 bytes";
    const std::string serialCode = "SERIAL-CODE-0123456789-ABCDEFGHIJ";
    CSecretText cipher;
    ASSERT_EQ(Text2CipherString(CSecretText(password), cipher), 0);
    const struct {
        std::vector<const char*> args;
        std::string input;
    } cases[] = {
        {{"set-address", "--window", "1", "--device", "198.18.0.11", "--ip", "198.18.0.60"},
         password + "\r\n"},
        {{"restore-password", "--serial", "KV-1", "--mac", "001b89010001"}, serialCode + "\n"},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.input);
        int hits = 0;
        {
            CFreedMemoryWatch watch({password.substr(0, 8), password.substr(password.size() - 8),
                                     std::string(cipher.View().substr(0, 8)),
                                     std::string(cipher.View().substr(cipher.Size() - 8)),
                                     serialCode.substr(0, 8)});
            EXPECT_EQ(RunCliOn(c.args, in, &m_client).status, 0) << c.args[0];
            hits = watch.Hits();
        }
        EXPECT_EQ(hits, 0) << c.args[0];
    }
    const std::vector<CFakeClient::Request> requests = m_client.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].authCode, cipher.View());
    EXPECT_EQ(requests[1].serialCode, serialCode);
}

TEST_F(CliFlow, DeviceResultsAndTheirExitStatus) {
    const struct {
        int result;
        const char* text;
        int status;
    } cases[] = {
        {0, "Succeed\n", 0},
        {11004, "Device password error.\n", 1},
        {11005, "Device IP conflict.\n", 1},
        {10009, "Timeout\n", 1},
        {10010, "Failed\n", 1},
    };
    for (const auto& c : cases) {
        m_client.SetResult(c.result);
        const CliRun run = RunCli({"restore-password", "--serial", "KV-1", "--mac", "001b89010001"},
                                  "CODE-1\n", &m_client);
        EXPECT_EQ(run.status, c.status) << c.result;
        EXPECT_EQ(run.out, c.text) << c.result;
    }
    const std::vector<CFakeClient::Request> requests = m_client.Requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[0].kind, 2);
    EXPECT_EQ(requests[0].target, 0u);  // by broadcast through every interface
    EXPECT_EQ(requests[0].serialCode, "CODE-1");
    EXPECT_EQ(requests[0].device.m_serialNo, "KV-1");
    EXPECT_EQ(requests[0].device.m_deviceId, "001b89010001");
    EXPECT_TRUE(m_client.Searches().empty());  // named devices need no search
}

TEST_F(CliFlow, RefusedBeforeAnyRequest) {
    // Two devices at one address: which one is meant is not guessed.
    CFakeClient twins;
    twins.SetFleet({FakeDevice("198.18.0.10", "A", "01"), FakeDevice("198.18.0.10", "B", "02")});
    const struct {
        std::vector<const char*> args;
        std::string input;
        IDiscoveryClient* pClient;
        int status;
        const char* err;
    } cases[] = {
        {{"restore-password", "--window", "1", "--device", "198.18.0.99"},
         "x\n",
         &m_client,
         3,
         "no device answered from 198.18.0.99"},
        {{"restore-password", "--window", "1", "--device", "198.18.0.10"},
         "x\n",
         &twins,
         3,
         "several devices answered from 198.18.0.10"},
        {{"set-address", "--device", "198.18.0.10", "--ip", "198.18.0.60"},
         std::string(128, 'p'),
         &m_client,
         2,
         "the password cannot be longer than 127 bytes"},
        {{"set-address", "--device", "198.18.0.10", "--ip", "198.18.0.60"},
         "",
         &m_client,
         2,
         "no password on standard input"},
        {{"restore-password", "--device", "198.18.0.10"},
         "",
         &m_client,
         2,
         "no serial code on standard input"},
        {{"set-address", "--device", "198.18.0.10", "--ip", "198.18.0.255"},
         "pw\n",
         &m_client,
         2,
         "It is not a valid host IP."},
        {{"search", "--range", "10.0.0.9", "10.0.0.8"},
         "",
         &m_client,
         2,
         "Start address cannot be larger than end address."},
        {{"search"}, "", nullptr, 4, "could not bind"},
    };
    for (const auto& c : cases) {
        const CliRun run = RunCli(c.args, c.input, c.pClient);
        EXPECT_EQ(run.status, c.status) << c.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "") << c.err;
    }
    EXPECT_TRUE(m_client.Requests().empty());
    EXPECT_TRUE(twins.Requests().empty());

    CFakeClient unbound;
    unbound.SetReadyResult(11000);
    const CliRun run = RunCli({"search"}, "", &unbound);
    EXPECT_EQ(run.status, 4);
    EXPECT_TRUE(unbound.Searches().empty());
}

TEST_F(CliFlow, HelpAndUsageErrorsNeedNoClient) {
    CliRun run = RunCli({"--help"}, "", nullptr);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("Usage: scoutcam-cli COMMAND", 0), 0u);
    run = RunCli({"search", "--version"}, "", nullptr);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "scoutcam-cli " SCOUTCAM_VERSION "\n");
    run = RunCli({"find"}, "", nullptr);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "scoutcam-cli: unknown command: find\nTry 'scoutcam-cli --help'.\n");
}

}  // namespace
