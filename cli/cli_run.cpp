#include "cli_run.h"

#include <chrono>
#include <iostream>
#include <optional>
#include <thread>
#include <vector>

#include "cli_console.h"
#include "cli_output.h"
#include "common/common_error.h"
#include "common/common_log.h"
#include "front/front_address.h"
#include "front/front_request.h"
#include "front/front_strings.h"

namespace {

const int kReadyTimeoutMs = 5000;

// A secret from the terminal without echo, or else the first line of the input; false when the
// input ends before a character. Read a character at a time straight into the secret's memory.
bool ReadSecret(CliIo& io, const char* pPrompt, CSecretText* pSecret) {
    std::optional<CHiddenInput> hidden;
    if (io.terminal) {
        io.err << pPrompt << std::flush;
        hidden.emplace();
    }
    pSecret->Clear();
    bool got = false;
    for (int c = io.in.get(); c != std::istream::traits_type::eof(); c = io.in.get()) {
        got = true;
        if (c == '\n') {
            break;
        }
        pSecret->Append(static_cast<char>(c));
    }
    hidden.reset();
    if (io.terminal) {
        io.err << "\n";
    }
    if (!pSecret->Empty() && pSecret->View().back() == '\r') {
        pSecret->Shrink(1);
    }
    return got;
}

// Probes for the window and returns what the main window would list.
std::vector<CDiscoveryBean> RunSearch(IDiscoveryClient* pClient, CliSearchMode mode, uint32_t first,
                                      uint32_t last, int windowMs) {
    CDeviceCollector collector(mode == SEARCH_AUTO ? 0 : first, mode == SEARCH_AUTO ? 0 : last);
    pClient->Attach(&collector);
    if (mode == SEARCH_AUTO) {
        pClient->Search(0);
    } else if (first == last) {
        pClient->Search(first);
    } else {
        pClient->ExactSearch(first, last);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(windowMs));
    pClient->Detach(&collector);
    return collector.Devices();
}

// The device a configuration command acts on, and where its request goes.
int FindTarget(IDiscoveryClient* pClient, const CliOptions& options, CliIo& io,
               DeviceIdentity* pDevice, uint32_t* pTarget) {
    if (!options.byAddress) {
        pDevice->m_serialNo = options.serialNo;
        pDevice->m_deviceId = options.macAddr;
        *pTarget = options.toAddr;
        return EXIT_OK;
    }
    const std::vector<CDiscoveryBean> devices = RunSearch(
        pClient, SEARCH_ADDRESS, options.deviceAddr, options.deviceAddr, options.windowMs);
    const std::string address = HostToIpText(options.deviceAddr);
    if (devices.size() != 1) {
        io.err << (devices.empty() ? "scoutcam-cli: no device answered from " + address
                                   : "scoutcam-cli: several devices answered from " + address +
                                         "; name one with --serial, --mac and --to")
               << "\n";
        return EXIT_NO_DEVICE;
    }
    *pDevice = MakeDeviceIdentity(devices[0]);
    *pTarget = options.deviceAddr;
    return EXIT_OK;
}

int Report(CliIo& io, int result) {
    io.out << GetErrMsg(result) << "\n";
    return result == RESULT_OK ? EXIT_OK : EXIT_NOT_CONFIRMED;
}

int SetAddress(IDiscoveryClient* pClient, const CliOptions& options, const CSecretText& password,
               CliIo& io) {
    UserInfo user;
    if (MakeOperator(password, user) != RESULT_OK) {
        io.err << "scoutcam-cli: the password cannot be longer than 127 bytes\n";
        return EXIT_USAGE;
    }
    DeviceIdentity device;
    uint32_t target = 0;
    const int rc = FindTarget(pClient, options, io, &device, &target);
    if (rc != EXIT_OK) {
        return rc;
    }
    const DeviceAddress newAddr =
        MakeDeviceAddress(options.newIp, options.newMask, options.newGateway);
    return Report(io, pClient->SetDeviceAddr(target, user, device, newAddr));
}

int RestorePassword(IDiscoveryClient* pClient, const CliOptions& options,
                    const CSecretText& serialCode, CliIo& io) {
    DeviceIdentity device;
    uint32_t target = 0;
    const int rc = FindTarget(pClient, options, io, &device, &target);
    if (rc != EXIT_OK) {
        return rc;
    }
    LOG_INFO("start resume password");
    return Report(io, pClient->SetDefaultPasswd(target, device, serialCode));
}

}  // namespace

int PrepareCommand(int argc, const char* const* argv, CliIo& io, CliOptions* pOptions,
                   CSecretText* pSecret) {
    std::string error;
    if (ParseCommandLine(argc, argv, pOptions, &error) != 0) {
        io.err << "scoutcam-cli: " << error << "\nTry 'scoutcam-cli --help'.\n";
        return EXIT_USAGE;
    }
    if (pOptions->command == CMD_HELP) {
        io.out << UsageText();
        return EXIT_OK;
    }
    if (pOptions->command == CMD_VERSION) {
        io.out << VersionText();
        return EXIT_OK;
    }
    if (pOptions->command == CMD_SEARCH) {
        return CLI_RUN;
    }
    const bool password = pOptions->command == CMD_SET_ADDRESS;
    if (!ReadSecret(io, password ? "Admin password: " : "Serial code: ", pSecret)) {
        io.err << "scoutcam-cli: no " << (password ? "password" : "serial code")
               << " on standard input\n";
        return EXIT_USAGE;
    }
    return CLI_RUN;
}

int RunCommand(const CliOptions& options, const CSecretText& secret, IDiscoveryClient* pClient,
               CliIo& io) {
    if (pClient == nullptr || pClient->WaitReady(kReadyTimeoutMs) != RESULT_OK) {
        io.err << "scoutcam-cli: the discovery client could not bind a UDP port of 3702..3801\n";
        return EXIT_CLIENT;
    }
    int rc = EXIT_OK;
    switch (options.command) {
    case CMD_SEARCH:
        pClient->SetSearchRepeat(options.repeat);
        io.out << FormatDevices(
            RunSearch(pClient, options.searchMode, options.first, options.last, options.windowMs),
            options.format);
        break;
    case CMD_SET_ADDRESS:
        rc = SetAddress(pClient, options, secret, io);
        break;
    case CMD_RESTORE_PASSWORD:
        rc = RestorePassword(pClient, options, secret, io);
        break;
    case CMD_HELP:
    case CMD_VERSION:
        break;
    }
    pClient->Stop();
    io.out.flush();
    return rc;
}
