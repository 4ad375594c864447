// scoutcam-cli: command line and output formats.

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "cli_console.h"
#include "cli_options.h"
#include "cli_output.h"
#include "fake_client.h"

namespace {

int Parse(const std::vector<const char*>& args, CliOptions* pOptions, std::string* pError) {
    std::vector<const char*> argv = {"scoutcam-cli"};
    argv.insert(argv.end(), args.begin(), args.end());
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), pOptions, pError);
}

TEST(CliOptions, ValidCommandLines) {
    CliOptions options;
    std::string error;
    ASSERT_EQ(Parse({"search"}, &options, &error), 0) << error;
    EXPECT_EQ(options.command, CMD_SEARCH);
    EXPECT_EQ(options.searchMode, SEARCH_AUTO);
    EXPECT_EQ(options.windowMs, 3000);
    EXPECT_EQ(options.repeat, 1);
    EXPECT_EQ(options.format, FORMAT_TABLE);

    ASSERT_EQ(Parse({"search", "--range", "192.168.1.0", "192.168.2.0", "--csv", "--window", "500"},
                    &options, &error),
              0)
        << error;
    EXPECT_EQ(options.searchMode, SEARCH_RANGE);
    EXPECT_EQ(options.first, 0xC0A80100u);
    EXPECT_EQ(options.last, 0xC0A80200u);  // 257 addresses: accepted
    EXPECT_EQ(options.format, FORMAT_CSV);
    EXPECT_EQ(options.windowMs, 500);

    ASSERT_EQ(Parse({"--json", "search", "--address", "10.0.0.7"}, &options, &error), 0);
    EXPECT_EQ(options.searchMode, SEARCH_ADDRESS);
    EXPECT_EQ(options.first, 0x0A000007u);
    EXPECT_EQ(options.last, 0x0A000007u);

    ASSERT_EQ(Parse({"search", "--range", "192.168.1.200", "192.168.2.10"}, &options, &error), 0);

    ASSERT_EQ(Parse({"search", "--repeat", "5", "--address", "10.0.0.7"}, &options, &error), 0)
        << error;
    EXPECT_EQ(options.repeat, 5);

    ASSERT_EQ(Parse({"set-address", "--device", "10.1.2.3", "--ip", "10.1.2.4"}, &options, &error),
              0)
        << error;
    EXPECT_TRUE(options.byAddress);
    EXPECT_EQ(options.newMask, 0xFF000000u);  // the dialog's mask of the address class
    EXPECT_EQ(options.newGateway, 0u);

    ASSERT_EQ(
        Parse({"set-address", "--serial", "S1", "--mac", "0012abcdef01", "--ip", "192.168.1.20",
               "--mask", "255.255.255.0", "--gateway", "192.168.1.1", "--to", "192.168.1.9"},
              &options, &error),
        0)
        << error;
    EXPECT_FALSE(options.byAddress);
    EXPECT_EQ(options.serialNo, "S1");
    EXPECT_EQ(options.macAddr, "0012abcdef01");
    EXPECT_EQ(options.toAddr, 0xC0A80109u);

    ASSERT_EQ(Parse({"restore-password", "--serial", "S1", "--mac", "m"}, &options, &error), 0);
    EXPECT_EQ(options.command, CMD_RESTORE_PASSWORD);
    EXPECT_EQ(options.toAddr, 0u);  // broadcast

    ASSERT_EQ(Parse({"search", "--help"}, &options, &error), 0);
    EXPECT_EQ(options.command, CMD_HELP);
}

TEST(CliOptions, InvalidCommandLinesAreRefusedWithAReason) {
    const struct {
        std::vector<const char*> args;
        const char* reason;
    } cases[] = {
        {{}, "no command"},
        {{"find"}, "unknown command: find"},
        {{"fi\nnd\x1b[2J"}, "unknown command: fi?nd?[2J"},  // one line, no escapes
        {{"search", "--bogus"}, "unknown argument: --bogus"},
        {{"search", "--range", "10.0.0.9", "10.0.0.8"},
         "Start address cannot be larger than end address."},
        {{"search", "--range", "192.168.1.0", "192.168.2.1"},
         "The first three fields of the IP addresses should be the same."},
        {{"search", "--range", "10.0.0.1"}, "needs a value"},
        {{"search", "--range", "10.0.0.1", "10.0.0.300"}, "not an IPv4 address"},
        {{"search", "--address", "0.0.0.0"}, "not a device address"},
        {{"search", "--address", "10.0.0.1", "--range", "10.0.0.1", "10.0.0.2"}, "either"},
        {{"search", "--window", "0"}, "--window"},
        {{"search", "--window", "12x"}, "--window"},
        {{"search", "--json", "--csv"}, "at most one"},
        {{"search", "--repeat"}, "needs a value"},
        {{"search", "--repeat", "0"}, "--repeat: not a number of copies from 1 to 5: 0"},
        {{"search", "--repeat", "6"}, "--repeat: not a number of copies from 1 to 5: 6"},
        {{"search", "--repeat", "-1"}, "--repeat: not a number"},
        {{"search", "--repeat", "2x"}, "--repeat: not a number"},
        {{"restore-password", "--device", "10.0.0.1", "--repeat", "2"}, "belong to search"},
        {{"search", "--device", "10.0.0.1"}, "search takes only"},
        {{"set-address", "--ip", "10.0.0.5"}, "name the device"},
        {{"set-address", "--device", "10.0.0.1"}, "needs --ip"},
        {{"set-address", "--device", "10.0.0.1", "--serial", "S", "--mac", "M", "--ip", "10.0.0.5"},
         "either --device"},
        {{"set-address", "--serial", "S", "--ip", "10.0.0.5"}, "name the device"},
        {{"set-address", "--device", "10.0.0.1", "--ip", "10.0.0.0"}, "It is not a valid host IP."},
        {{"set-address", "--device", "10.0.0.1", "--ip", "10.0.0.5", "--mask", "255.0.255.0"},
         "It is not a valid mask address."},
        {{"set-address", "--device", "192.168.1.2", "--ip", "192.168.1.20", "--mask",
          "255.255.255.0", "--gateway", "192.168.2.1"},
         "It is not a valid gateway address."},
        {{"set-address", "--device", "10.0.0.1", "--ip", "10.0.0.5", "--json"}, "belong to search"},
        {{"set-address", "--device", "10.0.0.1", "--ip", "10.0.0.5", "--password", "x"},
         "never from the command line"},
        {{"restore-password", "--device", "10.0.0.1", "--serial-code", "x"},
         "never from the command line"},
        {{"restore-password", "--device", "10.0.0.1", "--ip", "10.0.0.5"}, "belong to set-address"},
    };
    for (const auto& c : cases) {
        CliOptions options;
        std::string error;
        EXPECT_EQ(Parse(c.args, &options, &error), EXIT_USAGE) << c.reason;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

TEST(CliOptions, HelpDocumentsCommandsAndExitStatuses) {
    const std::string usage = UsageText();
    for (const char* pText : {"search --range FIRST LAST", "search --address A", "set-address",
                              "restore-password", "--window MS", "--repeat N", "--json", "--csv",
                              "Exit status", "  0 ", "  1 ", "  2 ", "  3 ", "  4 "}) {
        EXPECT_NE(usage.find(pText), std::string::npos) << pText;
    }
}

TEST(CliOutput, CollectorDropsDuplicatesAndAddressesOutsideTheRange) {
    CDeviceCollector exact(0x0A000005u, 0x0A000009u);
    const CDiscoveryBean a = FakeDevice("10.0.0.5", "A", "m1");
    CDiscoveryBean aOther = a;
    aOther.m_foreign = 1;  // differs in the sixth field only: a further row
    exact.Update(&a);
    exact.Update(&a);
    exact.Update(&aOther);
    const CDiscoveryBean outside = FakeDevice("10.0.0.10", "B", "m2");
    const CDiscoveryBean name = FakeDevice("camera", "C", "m3");
    exact.Update(&outside);
    exact.Update(&name);
    EXPECT_EQ(exact.Devices().size(), 2u);

    CDeviceCollector automatic(0, 0);
    automatic.Update(&outside);
    automatic.Update(&name);
    automatic.Update(&outside);
    EXPECT_EQ(automatic.Devices().size(), 2u);
}

TEST(CliOutput, TableJsonAndCsv) {
    std::vector<CDiscoveryBean> devices = {FakeDevice("10.0.0.5", "SN-1", "0012abcdef01"),
                                           FakeDevice("10.0.0.10", "S\"2,x", "aabb")};
    devices[0].m_interface = "eth1";
    devices[0].m_localAddr = "10.0.0.1";
    devices[1].m_hardware = "Cam\xC3\xA9ra";
    devices[1].m_foreign = 1;
    EXPECT_EQ(FormatTable(devices),
              "IP address  Type    Serial Number  Physical address   Version  Interface\n"
              "10.0.0.5    IPC-1   SN-1           00-12-AB-CD-EF-01  V1       eth1 10.0.0.1\n"
              "10.0.0.10   Cam\xC3\xA9ra  S\"2,x          AA-BB              V1\n"
              "Total: 2\n");
    EXPECT_EQ(FormatCsv(devices),
              "IP address,Type,Serial Number,Physical address,Version,Interface,Local address\r\n"
              "10.0.0.5,IPC-1,SN-1,00-12-AB-CD-EF-01,V1,eth1,10.0.0.1\r\n"
              "10.0.0.10,Cam\xC3\xA9ra,\"S\"\"2,x\",AA-BB,V1,,\r\n");
    EXPECT_EQ(FormatJson(devices),
              "[\n"
              "  {\"ipAddress\": \"10.0.0.5\", \"type\": \"IPC-1\", \"serialNumber\": \"SN-1\", "
              "\"physicalAddress\": \"00-12-AB-CD-EF-01\", \"version\": \"V1\", "
              "\"macAddr\": \"0012abcdef01\", \"foreign\": false, \"interface\": \"eth1\", "
              "\"localAddress\": \"10.0.0.1\"},\n"
              "  {\"ipAddress\": \"10.0.0.10\", \"type\": \"Cam\xC3\xA9ra\", \"serialNumber\": "
              "\"S\\\"2,x\", \"physicalAddress\": \"AA-BB\", \"version\": \"V1\", "
              "\"macAddr\": \"aabb\", \"foreign\": true, \"interface\": \"\", "
              "\"localAddress\": \"\"}\n"
              "]\n");
    EXPECT_EQ(FormatJson({}), "[]\n");
    EXPECT_EQ(FormatTable({}),
              "IP address  Type  Serial Number  Physical address  Version  Interface\nTotal: 0\n");
}

TEST(CliOutput, WideCharactersTakeTwoColumnsOfTheTable) {
    // Linux knows the columns from a UTF-8 locale; Windows without one.
    const char* pSaved = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = pSaved != nullptr ? pSaved : "C";
    std::setlocale(LC_CTYPE, "C.UTF-8");
    const char* pCamera = "\xE3\x82\xAB\xE3\x83\xA1\xE3\x83\xA9";  // three wide katakana
    const int columns = CharColumns(pCamera, 3);
    std::vector<CDiscoveryBean> devices = {FakeDevice("10.0.0.5", "SN-1", "aabb"),
                                           FakeDevice("10.0.0.6", "SN-2", "ccdd")};
    devices[0].m_hardware = pCamera;
    const std::string table = FormatTable(devices);
    std::setlocale(LC_CTYPE, saved.c_str());
    if (columns != 2) {
        GTEST_SKIP() << "the platform does not know the columns of wide characters here";
    }
    EXPECT_EQ(
        table,
        "IP address  Type    Serial Number  Physical address  Version  Interface\n"
        "10.0.0.5    \xE3\x82\xAB\xE3\x83\xA1\xE3\x83\xA9  SN-1           AA-BB             V1\n"
        "10.0.0.6    IPC-1   SN-2           CC-DD             V1\n"
        "Total: 2\n");
}

TEST(CliOutput, HostileDeviceTextsCannotBreakTheOutput) {
    CDiscoveryBean device = FakeDevice("10.0.0.5", "a\nb\x1b[2J", "m");
    device.m_version = "\xFF\xFEv";  // not UTF-8
    EXPECT_EQ(FormatJson({device}).find('\n', 2), FormatJson({device}).find("\n]"));
    EXPECT_NE(FormatJson({device}).find("a\\u000ab\\u001b[2J"), std::string::npos);
    EXPECT_NE(FormatJson({device}).find("\xEF\xBF\xBD\xEF\xBF\xBDv"), std::string::npos);
    EXPECT_NE(FormatTable({device}).find("a?b?[2J"), std::string::npos);
    EXPECT_NE(FormatCsv({device}).find(",a?b?[2J,"), std::string::npos);
}

// A hostile serial number in the table and in CSV: controls, C1 controls and bidirectional
// overrides become '?', formulas stay text, and the CSV row keeps its seven fields.
TEST(CliOutput, HostileFieldsAreShownAsPlainText) {
    const struct {
        const char* serial;
        const char* table;
        const char* csv;
    } cases[] = {
        {"SN-1", "SN-1", "SN-1"},
        {"=HYPERLINK(\"http://x\")", "=HYPERLINK(\"http://x\")",
         "\"'=HYPERLINK(\"\"http://x\"\")\""},
        {"+1", "+1", "\"'+1\""},
        {"-2+3", "-2+3", "\"'-2+3\""},
        {"@SUM(A1)", "@SUM(A1)", "\"'@SUM(A1)\""},
        {"\t=1", "?=1", "?=1"},
        {"\r\n=1",
         "?"
         "?=1",
         "?"
         "?=1"},  // split: "?" "?=" is no trigraph
        {"a,b", "a,b", "\"a,b\""},
        {"a\xC2\x85"
         "b\xC2\x9B"
         "c",
         "a?b?c", "a?b?c"},  // NEL, CSI
        {"\xE2\x80\xAE"
         "evil\xE2\x81\xA6",
         "?evil?", "?evil?"},  // RLO, LRI
        {"\xE2\x80\xA9"
         "ok",
         "\xE2\x80\xA9"
         "ok",
         "\xE2\x80\xA9"
         "ok"},  // U+2029 stays
        {"caf\xC3\xA9", "caf\xC3\xA9", "caf\xC3\xA9"},
        {"\xC2", "\xEF\xBF\xBD", "\xEF\xBF\xBD"},  // cut sequence: U+FFFD, never a C1
    };
    for (const auto& c : cases) {
        const CDiscoveryBean device = FakeDevice("10.0.0.5", c.serial, "0012abcdef01");
        const std::string table = FormatTable({device});
        EXPECT_NE(table.find(std::string("  ") + c.table + "  "), std::string::npos) << table;
        const std::string csv = FormatCsv({device});
        const std::string row = csv.substr(csv.find("\r\n") + 2);
        EXPECT_EQ(row, std::string("10.0.0.5,IPC-1,") + c.csv + ",00-12-AB-CD-EF-01,V1,,\r\n")
            << c.serial;
    }
}

}  // namespace
