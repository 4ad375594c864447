// scoutcam-cli: the discovery client from the command line.

#include <clocale>
#include <iostream>
#include <string>

#include "cli_console.h"
#include "cli_run.h"
#include "common/common_log.h"
#include "common/common_util.h"
#include "front/front_log.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    KeepOutOfCoreFiles();
    CliIo io{std::cin, std::cout, std::cerr, StdinIsTerminal()};
    CliOptions options;
    std::string secret;
    const int prepared = PrepareCommand(argc, argv, io, &options, &secret);
    if (prepared != CLI_RUN) {
        return prepared;
    }
    StartProgramLog();
    LOG_INFO("scoutcam-cli started");
    const int rc = RunCommand(options, secret, GetDiscoveryClient(), io);
    WipeText(&secret);
    GetLogThread()->StopLog();
    return rc;
}
