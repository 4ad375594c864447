#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/common_error.h"
#include "common/common_log.h"
#include "log_test_support.h"
#include "test_support.h"

namespace {

TEST_F(SysLogTest, WritesOneFormattedLinePerRecord) {
    m_log.SetLevel(LEVEL_DEBUG);
    m_log.SetLogDir(m_dir.Path().c_str());
    EXPECT_EQ(LogFile(), m_log.GetLogPath());

    const char* const levels[] = {"DEBUG", "INFO", "WARN", "ERROR", "FATAL"};
    for (int level = LEVEL_DEBUG; level <= LEVEL_FATAL; ++level) {
        ASSERT_EQ(RESULT_OK,
                  m_log.Write(level, "/src/mc/mc_discovery.cpp", 40 + level, "value (7)"));
    }
    std::string content = ReadFile(LogFile());
    std::vector<std::string> lines = SplitLines(content);
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ('\n', content.back());
    for (int i = 0; i < 5; ++i) {
        std::string rest = std::string(" [") + levels[i] +
                           "] [mc_discovery.cpp:" + std::to_string(41 + i) + "] value (7)";
        EXPECT_TRUE(MatchesShape(lines[i], kStampShape + rest)) << lines[i];
    }
}

TEST_F(SysLogTest, ThresholdAndLevelRange) {
    m_log.SetLogDir(m_dir.Path().c_str());
    struct Case {
        int threshold;
        int level;
        int result;
        bool written;
    } cases[] = {
        {LEVEL_INFO, LEVEL_DEBUG, RESULT_OK, false},  {LEVEL_INFO, LEVEL_INFO, RESULT_OK, true},
        {LEVEL_DEBUG, LEVEL_NOLOG, RESULT_OK, false}, {LEVEL_DEBUG, LEVEL_DEBUG, RESULT_OK, true},
        {LEVEL_DEBUG, 6, ERR_INVALID_PARAM, false},   {LEVEL_DEBUG, -1, ERR_INVALID_PARAM, false},
        {LEVEL_ERROR, LEVEL_WARN, RESULT_OK, false},  {LEVEL_ERROR, LEVEL_FATAL, RESULT_OK, true},
    };
    for (const Case& c : cases) {
        m_log.SetLevel(c.threshold);
        long long before = FileSize();
        EXPECT_EQ(c.result, m_log.Write(c.level, "t.cpp", 1, "x"));
        EXPECT_EQ(c.written, FileSize() > before)
            << "threshold " << c.threshold << " level " << c.level;
    }
}

TEST_F(SysLogTest, LinesAreCutToTheirFirst1023Bytes) {
    m_log.SetLogDir(m_dir.Path().c_str());
    ASSERT_EQ(RESULT_OK, m_log.Write(LEVEL_INFO, "a.cpp", 1, "x"));
    const int prefix = static_cast<int>(FileSize()) - 3;  // all but "x\r\n"

    for (int lineLen : {1021, 1022, 1023, 1024, 1025, 1100}) {
        const long long before = FileSize();
        std::string text(static_cast<size_t>(lineLen - prefix - 2), 'y');
        ASSERT_EQ(RESULT_OK, m_log.Write(LEVEL_INFO, "a.cpp", 1, text.c_str()));
        std::string line = ReadFile(LogFile()).substr(static_cast<size_t>(before));
        std::string tail = text + "\r\n";
        EXPECT_EQ(static_cast<size_t>(std::min(lineLen, 1023)), line.size()) << lineLen;
        EXPECT_EQ(tail.substr(0, line.size() - prefix), line.substr(prefix)) << lineLen;
    }
}

TEST_F(SysLogTest, RestartsOnlyBeyondTheSizeLimit) {
    m_log.SetLogDir(m_dir.Path().c_str());
    // Lines of 1,000 bytes, then two that share the rest: the file is exactly at the limit.
    ASSERT_EQ(RESULT_OK, m_log.Write(LEVEL_INFO, "a.cpp", 1, "x"));
    const long long prefix = FileSize() - 3;  // all but "x\r\n"
    const std::string filler(static_cast<size_t>(1000 - prefix - 2), 'f');
    while (LOG_FILE_SIZE_LIMIT - FileSize() >= 2000) {
        ASSERT_EQ(RESULT_OK, m_log.Write(LEVEL_INFO, "a.cpp", 1, filler.c_str()));
    }
    for (int part = 2; part >= 1; --part) {
        const long long lineLen = (LOG_FILE_SIZE_LIMIT - FileSize()) / part;
        const std::string text(static_cast<size_t>(lineLen - prefix - 2), 'l');
        ASSERT_EQ(RESULT_OK, m_log.Write(LEVEL_INFO, "a.cpp", 1, text.c_str()));
    }
    ASSERT_EQ(LOG_FILE_SIZE_LIMIT, FileSize());

    ASSERT_EQ(RESULT_OK, m_log.Write(LEVEL_INFO, "a.cpp", 1, "at the limit"));
    long long grown = FileSize();
    EXPECT_GT(grown, LOG_FILE_SIZE_LIMIT);  // written at the end, not restarted

    ASSERT_EQ(RESULT_OK, m_log.Write(LEVEL_INFO, "a.cpp", 2, "beyond the limit"));
    std::vector<std::string> lines = SplitLines(ReadFile(LogFile()));
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("beyond the limit", TextOf(lines[0]));
}

TEST_F(SysLogTest, OpeningEmptiesTheFile) {
    WriteFile(LogFile(), "old content\n");
    m_log.SetLogDir(m_dir.Path().c_str());
    EXPECT_EQ(0, FileSize());
    EXPECT_TRUE(std::filesystem::is_regular_file(LogFile()));
    ASSERT_EQ(RESULT_OK, m_log.Write(LEVEL_INFO, "a.cpp", 1, "new content"));
    std::vector<std::string> lines = SplitLines(ReadFile(LogFile()));
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("new content", TextOf(lines[0]));
}

TEST_F(SysLogTest, NeverWritesThroughAHardLink) {
    CTempDir other;
    std::string target = other.File("victim");
    WriteFile(target, "precious");
    std::filesystem::create_hard_link(target, LogFile());
    m_log.SetLogDir(m_dir.Path().c_str());
    ExpectClosed(m_log);
    EXPECT_EQ("precious", ReadFile(target));
}

TEST_F(SysLogTest, RefusesADirectoryThatDoesNotFit) {
    // The shortest directory whose log path no longer fits in 260 bytes with its terminator.
    const size_t dirLen = LOG_FILE_NAME_SIZE - sizeof("/scoutcam.log") + 1;
    std::string longDir = m_dir.File(std::string(dirLen - m_dir.Path().size() - 1, 'd'));
    ASSERT_EQ(dirLen, longDir.size());
    ASSERT_TRUE(std::filesystem::create_directory(longDir));
    m_log.SetLogDir(longDir.c_str());  // the file name would be cut
    ExpectClosed(m_log);
    EXPECT_TRUE(std::filesystem::is_empty(longDir)) << "nothing is created under a cut name";

    m_log.SetLogDir(std::string(300, 'd').c_str());
    ExpectClosed(m_log);
}

TEST_F(SysLogTest, SecondWriterOfTheSameFileIsRefused) {
    m_log.SetLogDir(m_dir.Path().c_str());
    ASSERT_EQ(RESULT_OK, m_log.Write(LEVEL_INFO, "a.cpp", 1, "first instance"));
    CSysLog second;
    second.SetLogDir(m_dir.Path().c_str());
    ExpectClosed(second);
    EXPECT_EQ(1u, SplitLines(ReadFile(LogFile())).size()) << "the running log was not emptied";
}

// The process-wide log. Each test leaves it absent (StopLog), as it found it.
class LogThreadTest : public ::testing::Test {
protected:
    void StartInTempDir() {
        CLogThread* pLog = GetLogThread();
        ASSERT_NE(nullptr, pLog);
        pLog->m_sysLog.SetLevel(LEVEL_DEBUG);
        pLog->m_sysLog.SetLogDir(m_dir.Path().c_str());
        ASSERT_EQ(RESULT_OK, pLog->StartLog());
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const std::string& line : SplitLines(ReadFile(m_dir.File("scoutcam.log")))) {
            texts.push_back(TextOf(line));
        }
        return texts;
    }

    CTempDir m_dir;
};

TEST_F(LogThreadTest, PostsOnlyWhileTheThreadRuns) {
    EXPECT_EQ(ERR_SYSTEM, LOG_INFO("before the object (%d)", 1));
    CLogThread* pLog = GetLogThread();
    ASSERT_NE(nullptr, pLog);
    EXPECT_EQ(pLog, GetLogThread());
    pLog->m_sysLog.SetLevel(LEVEL_DEBUG);
    pLog->m_sysLog.SetLogDir(m_dir.Path().c_str());
    EXPECT_EQ(ERR_SYSTEM, LOG_INFO("before start (%d)", 2));

    ASSERT_EQ(RESULT_OK, pLog->StartLog());
    EXPECT_EQ(RESULT_OK, LOG_DEBUG("running (%d)", 3));  // taken at once: the thread is up
    // A message without its record is reported by the log thread through its own queue.
    EXPECT_EQ(RESULT_OK, pLog->PostMessage(LOG_MSG_RECORD, 0, 0));
    for (int i = 0; i < 500 && Texts().size() < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pLog->StopLog();
    EXPECT_EQ(ERR_SYSTEM, LOG_INFO("after stop (%d)", 4));

    std::vector<std::string> expected = {"log thread started", "running (3)",
                                         "invalid param, message struct error", "log thread Ended"};
    EXPECT_EQ(expected, Texts());
    std::string content = ReadFile(m_dir.File("scoutcam.log"));
    EXPECT_NE(std::string::npos, content.find("[test_log.cpp:"));
}

TEST_F(LogThreadTest, KeepsTheOrderOfEachThread) {
    StartInTempDir();
    constexpr int kThreads = 4;
    constexpr int kRecords = 500;
    std::atomic<int> refused{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &refused] {
            for (int n = 0; n < kRecords; ++n) {
                if (LOG_INFO("thread %d record %d", t, n) != RESULT_OK) {
                    ++refused;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(RESULT_OK, LOG_INFO("after every thread"));
    GetLogThread()->StopLog();
    EXPECT_EQ(0, refused.load());

    std::vector<int> next(kThreads, 0);
    std::vector<std::string> texts = Texts();
    ASSERT_EQ(static_cast<size_t>(kThreads * kRecords + 3), texts.size());
    for (size_t i = 1; i + 2 < texts.size(); ++i) {
        int t = -1;
        int n = -1;
        ASSERT_EQ(2, sscanf(texts[i].c_str(), "thread %d record %d", &t, &n)) << texts[i];
        ASSERT_TRUE(t >= 0 && t < kThreads);
        EXPECT_EQ(next[t]++, n);
    }
    EXPECT_EQ("after every thread", texts[texts.size() - 2]);
    EXPECT_EQ("log thread Ended", texts.back());
}

TEST_F(LogThreadTest, RecordsBehindTheQuitRequestAreDroppedAndFreed) {
    StartInTempDir();
    CLogThread* pLog = GetLogThread();
    for (int n = 0; n < 2000; ++n) {
        ASSERT_EQ(RESULT_OK, LOG_INFO("before quit %d", n));
    }
    ASSERT_EQ(RESULT_OK, pLog->PostMessage(THREAD_MSG_QUIT, 0, 0));
    for (int n = 0; n < 100; ++n) {
        LOG_INFO("after quit %d",
                 n);  // queued or refused; never written (LeakSanitizer checks the rest)
    }
    pLog->StopLog();

    std::vector<std::string> texts = Texts();
    ASSERT_EQ(2001u, texts.size());
    EXPECT_EQ("before quit 1999", texts.back());
    for (const std::string& text : texts) {
        EXPECT_EQ(std::string::npos, text.find("after quit"));
        EXPECT_EQ(std::string::npos, text.find("exit normally"));
    }
}

TEST_F(LogThreadTest, LongMessagesAreCut) {
    StartInTempDir();
    std::string longText(3000, 'z');
    ASSERT_EQ(RESULT_OK, LOG_ERROR("%s", longText.c_str()));
    GetLogThread()->StopLog();
    std::string content = ReadFile(m_dir.File("scoutcam.log"));
    size_t start = content.find("zzz");
    ASSERT_NE(std::string::npos, start);
    size_t lineStart = content.rfind('\n', start) + 1;
    size_t end = content.find_first_not_of('z', start);
    EXPECT_EQ(1023u, end - lineStart) << "the line is its first 1,023 bytes, with no line end";
}

TEST_F(LogThreadTest, RestartsWithAFreshObjectThatRefusesReports) {
    StartInTempDir();
    GetLogThread()->StopLog();
    CLogThread* pFresh = GetLogThread();
    ASSERT_NE(nullptr, pFresh);
    EXPECT_EQ(ERR_SYSTEM, LOG_INFO("to a fresh object"));
    pFresh->StopLog();
}

// Lines of one call site: at most LOG_LIMIT_LINES in a second; the first one written after
// some were held back learns how many.
TEST(LogLimitTest, PassesAFewLinesASecondAndCountsTheRest) {
    CLogLimit limit;
    const struct {
        int64_t nowMs;
        int lines;                // reported at that moment
        unsigned passed;          // of them written
        unsigned long heldFirst;  // held-back count handed to the first one written
    } steps[] = {
        {5000, LOG_LIMIT_LINES, LOG_LIMIT_LINES, 0},
        {5999, 50, 0, 0},  // still the same second
        {6000, 10, 10, 50},
        {6500, LOG_LIMIT_LINES, LOG_LIMIT_LINES - 10, 0},
        {9000, 1, 1, 10},  // a quiet gap: the count waits for the next line written
    };
    for (const auto& step : steps) {
        unsigned passed = 0;
        unsigned long heldFirst = 0;
        for (int i = 0; i < step.lines; ++i) {
            unsigned long held = 0;
            if (limit.Pass(step.nowMs, &held)) {
                if (passed++ == 0) {
                    heldFirst = held;
                }
            }
        }
        EXPECT_EQ(passed, step.passed) << step.nowMs;
        EXPECT_EQ(heldFirst, step.heldFirst) << step.nowMs;
    }
}

// A log thread that takes no record until the test lets it, so that its queue fills.
class CHeldLogThread : public CLogThread {
public:
    int Run() override {
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_released.wait(lock, [this] { return m_release; });
        }
        return CLogThread::Run();
    }
    void Release() {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_release = true;
        }
        m_released.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_released;
    bool m_release = false;
};

LogRecord* NewRecord(const std::string& text) {
    auto* pRecord = static_cast<LogRecord*>(calloc(1, sizeof(LogRecord)));
    pRecord->level = LEVEL_INFO;
    snprintf(pRecord->file, sizeof(pRecord->file), "test_log.cpp");
    snprintf(pRecord->text, sizeof(pRecord->text), "%s", text.c_str());
    return pRecord;
}

TEST_F(LogThreadTest, QueueHoldsABoundedNumberOfRecordsAndCountsTheDroppedOnce) {
    CHeldLogThread log;
    log.m_sysLog.SetLevel(LEVEL_DEBUG);
    log.m_sysLog.SetLogDir(m_dir.Path().c_str());
    ASSERT_EQ(RESULT_OK, log.Start());
    const int extra = 100;
    int refused = 0;
    for (int i = 0; i < LOG_QUEUE_LIMIT + extra; ++i) {
        LogRecord* pRecord = NewRecord("record " + std::to_string(i));
        if (log.PostRecord(pRecord) != RESULT_OK) {
            free(pRecord);
            ++refused;
        }
    }
    EXPECT_EQ(extra, refused);
    log.Release();
    // Once the thread has taken what waited, the queue accepts records again.
    const std::string lastQueued = "record " + std::to_string(LOG_QUEUE_LIMIT - 1);
    const auto drained = [&] {
        const std::vector<std::string> texts = Texts();
        return !texts.empty() && texts.back() == lastQueued;
    };
    for (int i = 0; i < 500 && !drained(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    LogRecord* pLast = NewRecord("after the queue drained");
    EXPECT_EQ(RESULT_OK, log.PostRecord(pLast));
    ASSERT_EQ(RESULT_OK, log.Stop());

    const std::vector<std::string> texts = Texts();
    int records = 0;
    int counts = 0;
    for (const std::string& text : texts) {
        records += text.rfind("record ", 0) == 0 ? 1 : 0;
        if (text.rfind("log queue full", 0) == 0) {
            EXPECT_EQ("log queue full, 100 records dropped", text);
            ++counts;
        }
    }
    EXPECT_EQ(LOG_QUEUE_LIMIT, records);
    EXPECT_EQ(1, counts);
    EXPECT_EQ("after the queue drained", texts.back());
}

}  // namespace
