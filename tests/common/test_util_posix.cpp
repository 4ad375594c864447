// Linux side of the utilities: the process leaves no core file once it may hold secrets.

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/common_util.h"

namespace {

TEST(Util, KeepOutOfCoreFilesMakesTheProcessNonDumpable) {
    // In a child, so that this test process stays as it was.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool kept = KeepOutOfCoreFiles() == 0;
        _exit(kept && prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
