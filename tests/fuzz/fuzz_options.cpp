// Fuzz target of scoutcam-cli's command line: the input, split at NUL bytes, is the argument
// list after the program's name. Parsing must end with options or with one usage line, and
// accepted options must be consistent with what the command flow relies on.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli_options.h"
#include "fuzz_target.h"

namespace {

void Fail(const char* pWhat) {
    std::fprintf(stderr, "fuzz_options: %s\n", pWhat);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string input(reinterpret_cast<const char*>(pData), nSize);
    std::vector<std::string> words = {"scoutcam-cli"};
    for (size_t at = 0; at <= input.size() && words.size() < 64;) {
        const size_t end = std::min(input.find('\0', at), input.size());
        words.push_back(input.substr(at, end - at));
        at = end + 1;
    }
    std::vector<const char*> argv;
    for (const std::string& word : words) {
        argv.push_back(word.c_str());
    }
    argv.push_back(nullptr);

    CliOptions options;
    std::string error;
    const int rc = ParseCommandLine(static_cast<int>(words.size()), argv.data(), &options, &error);
    if (rc == EXIT_USAGE) {
        if (error.empty() || error.find('\n') != std::string::npos) {
            Fail("a refusal without its one-line reason");
        }
        return 0;
    }
    if (rc != 0) {
        Fail("neither options nor a usage error");
    }
    if (options.windowMs <= 0 || options.repeat < 1) {
        Fail("an accepted search window or repeat count that cannot run");
    }
    return 0;
}
