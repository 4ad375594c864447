#include "cli_options.h"

#include <cstdlib>

#include "common/common_version.h"
#include "front/front_address.h"
#include "front/front_strings.h"
#include "mc/mc_client.h"

namespace {

const char kUsage[] =
    "Usage: scoutcam-cli COMMAND [OPTIONS]\n"
    "\n"
    "Finds IP cameras and network video transmitters and configures one device.\n"
    "\n"
    "Commands:\n"
    "  search                       Auto Search: probe through every network interface\n"
    "  search --range FIRST LAST    probe every address from FIRST to LAST (at most 257)\n"
    "  search --address A           probe the one address A\n"
    "  set-address DEVICE --ip IP [--mask MASK] [--gateway GW]\n"
    "                               change a device's IP address, subnet mask and default\n"
    "                               gateway; the mask defaults to the one of the address\n"
    "                               class, the gateway to none (0.0.0.0). The admin\n"
    "                               password is read from a prompt or standard input\n"
    "  restore-password DEVICE      restore a device's default password; the serial code\n"
    "                               is read from a prompt or standard input\n"
    "\n"
    "DEVICE is one of:\n"
    "  --device IP                  the device that answers a probe to IP; the request\n"
    "                               goes to IP by unicast\n"
    "  --serial SERIAL --mac MAC [--to IP]\n"
    "                               the device with this serial number and MAC text, as\n"
    "                               the device reports them (\"serialNumber\" and \"macAddr\"\n"
    "                               of search --json); the request goes by broadcast\n"
    "                               through every interface, or by unicast to IP\n"
    "\n"
    "Options:\n"
    "  --window MS                  search window in milliseconds (default 3000)\n"
    "  --repeat N                   search: send each probe N times (1 to 5, default 1), the\n"
    "                               copies 50 to 500 ms apart within the first 1.75 s, for\n"
    "                               links that lose datagrams\n"
    "  --json                       search output as JSON\n"
    "  --csv                        search output as CSV\n"
    "  -h, --help                   show this text and exit\n"
    "  --version                    show the version and exit\n"
    "\n"
    "search shows each device with the interface its answer came in on and the local\n"
    "address there (table: Interface; JSON: interface, localAddress; CSV: Interface,\n"
    "Local address).\n"
    "\n"
    "Passwords and serial codes are never taken from the command line. On a terminal\n"
    "they are asked for without echo; otherwise the first line of standard input is used.\n"
    "\n"
    "Exit status:\n"
    "  0  search finished, or the device answered \"Succeed\"\n"
    "  1  the device did not confirm (refusal, failure or timeout); the text is printed\n"
    "  2  invalid arguments or input\n"
    "  3  no device answered from the --device address\n"
    "  4  the discovery client could not start (no UDP port of 3702..3801)\n"
    "\n"
    "Files:\n"
    "  $TMPDIR/scoutcam.log         the log; without TMPDIR in $XDG_RUNTIME_DIR, else in\n"
    "                               /tmp/scoutcam-<uid> (a private folder),\n"
    "                               emptied at each start and beyond 2 MiB\n";

const char kVersion[] = "scoutcam-cli " SCOUTCAM_VERSION "\n";

const int kMaxWindowMs = 600000;

// Reads the value of an option, advancing *pIndex past it.
bool TakeValue(int argc, const char* const* argv, int* pIndex, std::string* pValue,
               std::string* pError) {
    const char* pName = argv[*pIndex];
    if (*pIndex + 1 >= argc) {
        *pError = std::string("option ") + pName + " needs a value";
        return false;
    }
    *pIndex += 1;
    *pValue = argv[*pIndex];
    return true;
}

bool TakeAddress(int argc, const char* const* argv, int* pIndex, uint32_t* pAddress,
                 std::string* pError) {
    const char* pName = argv[*pIndex];
    std::string value;
    if (!TakeValue(argc, argv, pIndex, &value, pError)) {
        return false;
    }
    if (!ParseIpv4(value, pAddress)) {
        *pError = std::string("option ") + pName + ": not an IPv4 address: " + value;
        return false;
    }
    return true;
}

// A decimal number of at most nine digits in [1, max].
bool ParseCount(const std::string& text, int max, int* pValue) {
    if (text.empty() || text.size() > 9) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < 1 || value > max) {
        return false;
    }
    *pValue = static_cast<int>(value);
    return true;
}

// Checks of the Network Segment dialog, and a range of one address that is not 0.0.0.0
// (a search of address 0 would be an Auto Search).
bool CheckSearchRange(const CliOptions& options, std::string* pError) {
    const int refusal = CheckRange(options.first, options.last);
    if (refusal != 0) {
        *pError = LoadResText(refusal);
        return false;
    }
    if (options.last == 0) {
        *pError = "0.0.0.0 is not a device address";
        return false;
    }
    return true;
}

// Checks of the Edit Network Address dialog.
bool CheckSetAddress(const CliOptions& options, std::string* pError) {
    const int refusal = CheckNewAddress(options.newIp, options.newMask, options.newGateway);
    if (refusal != 0) {
        *pError = LoadResText(refusal);
        return false;
    }
    return true;
}

struct Seen {
    bool range = false;
    bool address = false;
    bool device = false;
    bool serial = false;
    bool mac = false;
    bool to = false;
    bool ip = false;
    bool mask = false;
    bool format = false;
    bool repeat = false;
};

bool CheckCombination(const CliOptions& options, const Seen& seen, std::string* pError) {
    const bool configure =
        options.command == CMD_SET_ADDRESS || options.command == CMD_RESTORE_PASSWORD;
    if (options.command == CMD_SEARCH &&
        (seen.device || seen.serial || seen.mac || seen.to || seen.ip || seen.mask)) {
        *pError = "search takes only --range, --address, --window, --repeat, --json and --csv";
        return false;
    }
    if (configure && (seen.range || seen.address || seen.repeat || seen.format)) {
        *pError = "--range, --address, --repeat, --json and --csv belong to search";
        return false;
    }
    if (seen.range && seen.address) {
        *pError = "give either --range or --address";
        return false;
    }
    if (options.command == CMD_RESTORE_PASSWORD && (seen.ip || seen.mask)) {
        *pError = "--ip, --mask and --gateway belong to set-address";
        return false;
    }
    if (!configure) {
        return true;
    }
    if (seen.device && (seen.serial || seen.mac || seen.to)) {
        *pError = "give either --device, or --serial and --mac";
        return false;
    }
    if (!seen.device && !(seen.serial && seen.mac)) {
        *pError = "name the device with --device IP, or with --serial and --mac";
        return false;
    }
    if (options.command == CMD_SET_ADDRESS && !seen.ip) {
        *pError = "set-address needs --ip";
        return false;
    }
    return true;
}

int ParseArguments(int argc, const char* const* argv, CliOptions* pOptions, std::string* pError) {
    CliOptions options;
    Seen seen;
    bool haveCommand = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string value;
        if (arg == "-h" || arg == "--help") {
            pOptions->command = CMD_HELP;
            return 0;
        } else if (arg == "--version") {
            pOptions->command = CMD_VERSION;
            return 0;
        } else if (!haveCommand && arg == "search") {
            options.command = CMD_SEARCH;
            haveCommand = true;
        } else if (!haveCommand && arg == "set-address") {
            options.command = CMD_SET_ADDRESS;
            haveCommand = true;
        } else if (!haveCommand && arg == "restore-password") {
            options.command = CMD_RESTORE_PASSWORD;
            haveCommand = true;
        } else if (arg == "--window") {
            if (!TakeValue(argc, argv, &i, &value, pError)) {
                return EXIT_USAGE;
            }
            if (!ParseCount(value, kMaxWindowMs, &options.windowMs)) {
                *pError = "--window: not a number of milliseconds from 1 to 600000: " + value;
                return EXIT_USAGE;
            }
        } else if (arg == "--repeat") {
            if (!TakeValue(argc, argv, &i, &value, pError)) {
                return EXIT_USAGE;
            }
            if (!ParseCount(value, kMaxSearchCopies, &options.repeat)) {
                *pError = "--repeat: not a number of copies from 1 to " +
                          std::to_string(kMaxSearchCopies) + ": " + value;
                return EXIT_USAGE;
            }
            seen.repeat = true;
        } else if (arg == "--json" || arg == "--csv") {
            if (seen.format) {
                *pError = "give at most one of --json and --csv";
                return EXIT_USAGE;
            }
            seen.format = true;
            options.format = arg == "--json" ? FORMAT_JSON : FORMAT_CSV;
        } else if (arg == "--range") {
            if (!TakeAddress(argc, argv, &i, &options.first, pError) ||
                !TakeAddress(argc, argv, &i, &options.last, pError)) {
                return EXIT_USAGE;
            }
            seen.range = true;
            options.searchMode = SEARCH_RANGE;
        } else if (arg == "--address") {
            if (!TakeAddress(argc, argv, &i, &options.first, pError)) {
                return EXIT_USAGE;
            }
            options.last = options.first;
            seen.address = true;
            options.searchMode = SEARCH_ADDRESS;
        } else if (arg == "--device") {
            if (!TakeAddress(argc, argv, &i, &options.deviceAddr, pError)) {
                return EXIT_USAGE;
            }
            seen.device = true;
            options.byAddress = true;
        } else if (arg == "--serial") {
            if (!TakeValue(argc, argv, &i, &options.serialNo, pError)) {
                return EXIT_USAGE;
            }
            seen.serial = true;
        } else if (arg == "--mac") {
            if (!TakeValue(argc, argv, &i, &options.macAddr, pError)) {
                return EXIT_USAGE;
            }
            seen.mac = true;
        } else if (arg == "--to") {
            if (!TakeAddress(argc, argv, &i, &options.toAddr, pError)) {
                return EXIT_USAGE;
            }
            seen.to = true;
        } else if (arg == "--ip") {
            if (!TakeAddress(argc, argv, &i, &options.newIp, pError)) {
                return EXIT_USAGE;
            }
            seen.ip = true;
        } else if (arg == "--mask") {
            if (!TakeAddress(argc, argv, &i, &options.newMask, pError)) {
                return EXIT_USAGE;
            }
            seen.mask = true;
        } else if (arg == "--gateway") {
            if (!TakeAddress(argc, argv, &i, &options.newGateway, pError)) {
                return EXIT_USAGE;
            }
        } else if (arg == "--password" || arg == "--serial-code") {
            *pError = arg +
                      ": secrets are read from a prompt or standard input, never from "
                      "the command line";
            return EXIT_USAGE;
        } else {
            *pError = haveCommand ? "unknown argument: " + arg : "unknown command: " + arg;
            return EXIT_USAGE;
        }
    }
    if (!haveCommand) {
        *pError = "no command given (search, set-address or restore-password)";
        return EXIT_USAGE;
    }
    if (!CheckCombination(options, seen, pError)) {
        return EXIT_USAGE;
    }
    if (options.command == CMD_SEARCH && options.searchMode != SEARCH_AUTO &&
        !CheckSearchRange(options, pError)) {
        return EXIT_USAGE;
    }
    if (seen.to && options.toAddr == 0) {
        *pError = "--to: 0.0.0.0 is not a device address";
        return EXIT_USAGE;
    }
    if (seen.device && options.deviceAddr == 0) {
        *pError = "--device: 0.0.0.0 is not a device address";
        return EXIT_USAGE;
    }
    if (options.command == CMD_SET_ADDRESS) {
        if (!seen.mask) {
            options.newMask = DefaultMaskOf(options.newIp);
        }
        if (!CheckSetAddress(options, pError)) {
            return EXIT_USAGE;
        }
    }
    *pOptions = options;
    return 0;
}

}  // namespace

// The reason quotes what was typed; its control characters are shown as '?' so that it stays
// one line on the terminal.
int ParseCommandLine(int argc, const char* const* argv, CliOptions* pOptions, std::string* pError) {
    const int rc = ParseArguments(argc, argv, pOptions, pError);
    for (char& c : *pError) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return rc;
}

const char* UsageText() {
    return kUsage;
}

const char* VersionText() {
    return kVersion;
}
