#pragma once

#include <gtest/gtest.h>

#include <string>
#include <system_error>
#include <vector>

#include "common/common_error.h"
#include "common/common_log.h"
#include "test_support.h"

inline std::vector<std::string> SplitLines(const std::string& content) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = content.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(content.substr(start, end - start));
    }
    return lines;
}

// Text of the line: what follows "] " after the "[file:line]" part.
inline std::string TextOf(const std::string& line) {
    size_t pos = line.find("] [");
    pos = line.find("] ", pos + 3);
    return pos == std::string::npos ? std::string() : line.substr(pos + 2);
}

// Every refusal leaves the log closed: Open and Write fail with 10005.
inline void ExpectClosed(CSysLog& log) {
    EXPECT_EQ(ERR_IO, log.Open());
    EXPECT_EQ(ERR_IO, log.Write(LEVEL_ERROR, "a.cpp", 1, "must not be written"));
}

// A log writer and a fresh directory for it.
class SysLogTest : public ::testing::Test {
protected:
    std::string LogFile() const { return m_dir.File("scoutcam.log"); }
    long long FileSize() const {
        std::error_code ec;
        auto size = std::filesystem::file_size(LogFile(), ec);
        return ec ? -1 : static_cast<long long>(size);
    }

    CTempDir m_dir;
    CSysLog m_log;
};
