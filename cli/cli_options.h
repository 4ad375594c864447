#pragma once

// Command line of scoutcam-cli: what to do, parsed and checked before any packet leaves.

#include <cstdint>
#include <string>

enum CliCommand { CMD_HELP, CMD_VERSION, CMD_SEARCH, CMD_SET_ADDRESS, CMD_RESTORE_PASSWORD };
enum CliFormat { FORMAT_TABLE, FORMAT_JSON, FORMAT_CSV };
enum CliSearchMode { SEARCH_AUTO, SEARCH_RANGE, SEARCH_ADDRESS };

// Exit statuses, as --help lists them.
enum CliExit {
    EXIT_OK = 0,
    EXIT_NOT_CONFIRMED = 1,
    EXIT_USAGE = 2,
    EXIT_NO_DEVICE = 3,
    EXIT_CLIENT = 4,
};

struct CliOptions {
    CliCommand command = CMD_HELP;
    CliFormat format = FORMAT_TABLE;
    int windowMs = 3000;
    int repeat = 1;  // search: copies of each probe

    // search; addresses in host byte order
    CliSearchMode searchMode = SEARCH_AUTO;
    uint32_t first = 0;
    uint32_t last = 0;

    // target of a configuration command: either a device found at deviceAddr, or one named
    // by serial number and MAC text, reached at toAddr (0: broadcast on every interface)
    bool byAddress = false;
    uint32_t deviceAddr = 0;
    std::string serialNo;
    std::string macAddr;
    uint32_t toAddr = 0;

    // set-address, host byte order
    uint32_t newIp = 0;
    uint32_t newMask = 0;
    uint32_t newGateway = 0;
};

// 0 with *pOptions filled, or EXIT_USAGE with a one-line reason in *pError.
int ParseCommandLine(int argc, const char* const* argv, CliOptions* pOptions, std::string* pError);

const char* UsageText();

// "scoutcam-cli <version>" and a line feed.
const char* VersionText();
