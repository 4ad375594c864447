// scoutcam-cli: the discovery client from the command line.

#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "cli_options.h"
#include "cli_output.h"
#include "common/common_log.h"
#include "common/common_util.h"
#include "mc/mc_discovery.h"

namespace {

const int kReadyTimeoutMs = 5000;
const char kAdminUser[] = "admin";

void StartLog() {
    const char* pDir = std::getenv("TMPDIR");
    if (pDir == nullptr || *pDir == '\0') {
        pDir = "/tmp";
    }
    CLogThread* pLog = GetLogThread();
    pLog->m_sysLog.SetLevel(LEVEL_DEBUG);
    pLog->m_sysLog.SetLogDir(pDir);
    pLog->StartLog();
}

// A secret from the terminal without echo, or else the first line of standard input.
bool ReadSecret(const char* pPrompt, std::string* pSecret) {
    const bool terminal = isatty(STDIN_FILENO) != 0;
    termios saved;
    if (terminal) {
        std::fprintf(stderr, "%s", pPrompt);
        std::fflush(stderr);
        if (tcgetattr(STDIN_FILENO, &saved) == 0) {
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        }
    }
    const bool got = static_cast<bool>(std::getline(std::cin, *pSecret));
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    if (got && !pSecret->empty() && pSecret->back() == '\r') {
        pSecret->pop_back();
    }
    return got;
}

// Probes for the window and returns what the main window would list.
std::vector<CDiscoveryBean> RunSearch(CDiscoveryThread* pClient, CliSearchMode mode, uint32_t first,
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
int FindTarget(CDiscoveryThread* pClient, const CliOptions& options, DeviceIdentity* pDevice,
               uint32_t* pTarget) {
    if (!options.byAddress) {
        pDevice->m_serialNo = options.serialNo;
        pDevice->m_deviceId = options.macAddr;
        *pTarget = options.toAddr;
        return EXIT_OK;
    }
    const std::vector<CDiscoveryBean> devices = RunSearch(
        pClient, SEARCH_ADDRESS, options.deviceAddr, options.deviceAddr, options.windowMs);
    const std::string address = IpText(options.deviceAddr);
    if (devices.size() != 1) {
        std::fprintf(stderr,
                     devices.empty()
                         ? "scoutcam-cli: no device answered from %s\n"
                         : "scoutcam-cli: several devices answered from %s; name one with "
                           "--serial, --mac and --to\n",
                     address.c_str());
        return EXIT_NO_DEVICE;
    }
    pDevice->m_serialNo = devices[0].m_serialNo;
    pDevice->m_deviceId = devices[0].m_macAddr;
    *pTarget = options.deviceAddr;
    return EXIT_OK;
}

int Report(int result) {
    std::printf("%s\n", ResultText(result));
    return result == RESULT_OK ? EXIT_OK : EXIT_NOT_CONFIRMED;
}

int SetAddress(CDiscoveryThread* pClient, const CliOptions& options, const std::string& password) {
    UserInfo user;
    user.m_userName = kAdminUser;
    if (Text2CipherString(password, user.m_authCode) != RESULT_OK) {
        std::fprintf(stderr, "scoutcam-cli: the password cannot be longer than 127 bytes\n");
        return EXIT_USAGE;
    }
    DeviceIdentity device;
    uint32_t target = 0;
    const int rc = FindTarget(pClient, options, &device, &target);
    if (rc != EXIT_OK) {
        return rc;
    }
    DeviceAddress newAddr;
    newAddr.m_ipAddr = IpText(options.newIp);
    newAddr.m_mask = IpText(options.newMask);
    newAddr.m_gateway = IpText(options.newGateway);
    return Report(pClient->SetDeviceAddr(target, user, device, newAddr));
}

int RestorePassword(CDiscoveryThread* pClient, const CliOptions& options,
                    const std::string& serialCode) {
    DeviceIdentity device;
    uint32_t target = 0;
    const int rc = FindTarget(pClient, options, &device, &target);
    if (rc != EXIT_OK) {
        return rc;
    }
    LOG_INFO("start resume password");
    return Report(pClient->SetDefaultPasswd(target, device, serialCode));
}

int RunCommand(const CliOptions& options, const std::string& secret) {
    CDiscoveryThread* pClient = CDiscoveryThread::GetInstance();
    if (pClient == nullptr || pClient->WaitReady(kReadyTimeoutMs) != RESULT_OK) {
        std::fprintf(stderr,
                     "scoutcam-cli: the discovery client could not bind a UDP port of "
                     "3702..3801\n");
        return EXIT_CLIENT;
    }
    int rc = EXIT_OK;
    switch (options.command) {
    case CMD_SEARCH: {
        const std::vector<CDiscoveryBean> devices =
            RunSearch(pClient, options.searchMode, options.first, options.last, options.windowMs);
        std::fputs(FormatDevices(devices, options.format).c_str(), stdout);
        break;
    }
    case CMD_SET_ADDRESS:
        rc = SetAddress(pClient, options, secret);
        break;
    case CMD_RESTORE_PASSWORD:
        rc = RestorePassword(pClient, options, secret);
        break;
    case CMD_HELP:
    case CMD_VERSION:
        break;
    }
    pClient->Stop();
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    CliOptions options;
    std::string error;
    if (ParseCommandLine(argc, argv, &options, &error) != 0) {
        std::fprintf(stderr, "scoutcam-cli: %s\nTry 'scoutcam-cli --help'.\n", error.c_str());
        return EXIT_USAGE;
    }
    if (options.command == CMD_HELP) {
        std::fputs(UsageText(), stdout);
        return EXIT_OK;
    }
    if (options.command == CMD_VERSION) {
        std::fputs(VersionText(), stdout);
        return EXIT_OK;
    }
    std::string secret;
    if (options.command != CMD_SEARCH &&
        !ReadSecret(options.command == CMD_SET_ADDRESS ? "Admin password: " : "Serial code: ",
                    &secret)) {
        std::fprintf(stderr, "scoutcam-cli: no %s on standard input\n",
                     options.command == CMD_SET_ADDRESS ? "password" : "serial code");
        return EXIT_USAGE;
    }
    StartLog();
    LOG_INFO("scoutcam-cli started");
    const int rc = RunCommand(options, secret);
    fflush(stdout);
    GetLogThread()->StopLog();
    return rc;
}
