// The log start-up that both programs share.

#include <gtest/gtest.h>

#include <string>

#include "common/common_log.h"
#include "front/front_log.h"
#include "test_support.h"

namespace {

TEST(FrontLog, LogStartsInTheTemporaryDirectoryFromDebugUp) {
    CTempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    CUserTempDirAt temp(dir.Path());
    ASSERT_EQ(StartProgramLog(), 0);
    LOG_DEBUG("front log test record");
    GetLogThread()->StopLog();
    const std::string log = ReadFile(dir.File("scoutcam.log"));
    EXPECT_NE(log.find("[DEBUG]"), std::string::npos) << log;
    EXPECT_NE(log.find("front log test record"), std::string::npos) << log;
    EXPECT_NE(log.find("log thread Ended"), std::string::npos) << log;
}

}  // namespace
