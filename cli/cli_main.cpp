// scoutcam-cli: the discovery client from the command line.

#include <clocale>
#include <cstdio>
#include <iostream>

#include "cli_console.h"
#include "cli_run.h"
#include "common/common_log.h"
#include "common/common_util.h"
#include "front/front_log.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    KeepOutOfCoreFiles();
    // Standard input goes without the C library's buffer, where the line of the secret would
    // stay: each character read goes straight into the secret's own memory.
    setvbuf(stdin, nullptr, _IONBF, 0);
    CliIo io{std::cin, std::cout, std::cerr, StdinIsTerminal()};
    CliOptions options;
    CSecretText secret;
    const int prepared = PrepareCommand(argc, argv, io, &options, &secret);
    if (prepared != CLI_RUN) {
        return prepared;
    }
    StartProgramLog();
    LOG_INFO("scoutcam-cli started");
    const int rc = RunCommand(options, secret, GetDiscoveryClient(), io);
    secret.Clear();
    GetLogThread()->StopLog();
    return rc;
}
