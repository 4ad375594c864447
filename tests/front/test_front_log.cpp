// The log start-up that both programs share.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "common/common_log.h"
#include "front/front_log.h"
#include "test_support.h"

namespace {

class FrontLog : public ::testing::Test {
protected:
    void SetUp() override {
        const char* pDir = std::getenv("TMPDIR");
        m_had = pDir != nullptr;
        m_saved = m_had ? pDir : "";
    }
    void TearDown() override {
        if (m_had) {
            setenv("TMPDIR", m_saved.c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
    }

    bool m_had = false;
    std::string m_saved;
};

TEST_F(FrontLog, TemporaryDirectoryIsTmpdirElseTmp) {
    setenv("TMPDIR", "/var/tmp/somewhere", 1);
    EXPECT_STREQ(UserTempDir(), "/var/tmp/somewhere");
    setenv("TMPDIR", "", 1);
    EXPECT_STREQ(UserTempDir(), "/tmp");
    unsetenv("TMPDIR");
    EXPECT_STREQ(UserTempDir(), "/tmp");
}

TEST_F(FrontLog, LogStartsInTheTemporaryDirectoryFromDebugUp) {
    CTempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    setenv("TMPDIR", dir.Path().c_str(), 1);
    ASSERT_EQ(StartProgramLog(), 0);
    LOG_DEBUG("front log test record");
    GetLogThread()->StopLog();
    const std::string log = ReadFile(dir.File("scoutcam.log"));
    EXPECT_NE(log.find("[DEBUG]"), std::string::npos) << log;
    EXPECT_NE(log.find("front log test record"), std::string::npos) << log;
    EXPECT_NE(log.find("log thread Ended"), std::string::npos) << log;
}

}  // namespace
