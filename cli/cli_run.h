#pragma once

// The command flow of scoutcam-cli: arguments, the secret a command needs, the request on the
// discovery client, the printed result and the exit status. main() hands it the process's
// streams and the real client; the tests hand it their own streams and a fake client.

#include <iosfwd>
#include <string>

#include "cli_options.h"
#include "common/common_secret.h"
#include "mc/mc_client.h"

struct CliIo {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    // in is standard input and a terminal: secrets are asked for on err and read without echo.
    bool terminal;
};

// PrepareCommand's status when the command is to run.
const int CLI_RUN = -1;

// Parses the arguments and reads the secret that the command needs. CLI_RUN with *pOptions
// and *pSecret filled; otherwise the exit status, with the help text printed on out or the
// reason on err.
int PrepareCommand(int argc, const char* const* argv, CliIo& io, CliOptions* pOptions,
                   CSecretText* pSecret);

// Runs a prepared command on the client (null when it could not be created), prints its
// result, stops the client and returns the exit status.
int RunCommand(const CliOptions& options, const CSecretText& secret, IDiscoveryClient* pClient,
               CliIo& io);
