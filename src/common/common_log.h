#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <mutex>

#include "common/common_thread.h"

// Process-wide asynchronous log. Callers format in their own thread and post the record;
// only the log thread touches the file.

enum LogLevel : int {
    LEVEL_NOLOG = 0,
    LEVEL_DEBUG = 1,
    LEVEL_INFO = 2,
    LEVEL_WARN = 3,
    LEVEL_ERROR = 4,
    LEVEL_FATAL = 5,
};

// MinGW's own printf checks follow the Windows C runtime; the build uses the C99 one.
#ifdef __MINGW32__
#define SC_PRINTF_FORMAT gnu_printf
#else
#define SC_PRINTF_FORMAT printf
#endif

// Returns 0 when the record was posted to the log thread, 10002 otherwise.
int WriteLog(int level, const char* file, int line, const char* format, ...)
    __attribute__((format(SC_PRINTF_FORMAT, 4, 5)));

// Report from the calling source line.
#define SC_LOG(level, ...) WriteLog((level), __FILE__, __LINE__, __VA_ARGS__)
#define LOG_DEBUG(...) SC_LOG(LEVEL_DEBUG, __VA_ARGS__)
#define LOG_INFO(...) SC_LOG(LEVEL_INFO, __VA_ARGS__)
#define LOG_WARN(...) SC_LOG(LEVEL_WARN, __VA_ARGS__)
#define LOG_ERROR(...) SC_LOG(LEVEL_ERROR, __VA_ARGS__)

// Lines that a flood could repeat for every datagram pass a limit of their call site: at most
// LOG_LIMIT_LINES a second. The first line written after some were held back is preceded by
// one that counts them.
constexpr unsigned LOG_LIMIT_LINES = 200;

class CLogLimit {
public:
    // Whether a line reported at nowMs (milliseconds of a steady clock) may be written;
    // *pHeld: the lines held back since the last one written.
    bool Pass(int64_t nowMs, unsigned long* pHeld);

private:
    std::mutex m_lock;
    bool m_started = false;
    int64_t m_windowStart = 0;
    unsigned m_written = 0;  // lines written in the current second
    unsigned long m_held = 0;
};

// Milliseconds of the steady clock, for CLogLimit.
int64_t LogClockMs();

#define SC_LOG_LIMITED(level, ...)                                                     \
    do {                                                                               \
        static CLogLimit s_logLimit;                                                   \
        unsigned long logHeldBack = 0;                                                 \
        if (s_logLimit.Pass(LogClockMs(), &logHeldBack)) {                             \
            if (logHeldBack != 0) {                                                    \
                SC_LOG(level, "%lu lines like the next one not written", logHeldBack); \
            }                                                                          \
            SC_LOG(level, __VA_ARGS__);                                                \
        }                                                                              \
    } while (0)
#define LOG_DEBUG_LIMITED(...) SC_LOG_LIMITED(LEVEL_DEBUG, __VA_ARGS__)
#define LOG_WARN_LIMITED(...) SC_LOG_LIMITED(LEVEL_WARN, __VA_ARGS__)
#define LOG_ERROR_LIMITED(...) SC_LOG_LIMITED(LEVEL_ERROR, __VA_ARGS__)

// Thread message that carries one LogRecord to the log thread (lParam: its address).
constexpr uint32_t LOG_MSG_RECORD = THREAD_MSG_USER + 1000;

constexpr int LOG_FILE_NAME_SIZE = 260;
constexpr int LOG_TEXT_SIZE = 1024;
constexpr long LOG_FILE_SIZE_LIMIT = 2097152;  // beyond this the file is started afresh
// Records waiting for the log thread at most (about 5 MB); more are dropped and counted.
constexpr int LOG_QUEUE_LIMIT = 4096;

// One report on its way to the log thread; malloc'd by WriteLog, freed by the log thread.
struct LogRecord {
    int32_t level;
    int32_t line;
    char file[LOG_FILE_NAME_SIZE];  // base name of the reporting source file
    char text[LOG_TEXT_SIZE];       // formatted message, at most 1,023 characters
};
static_assert(sizeof(LogRecord) == 1292, "LogRecord is a fixed-size record");

// Writer of the log file "scoutcam.log". Used by one thread at a time: the application's
// main thread before the log thread starts, then only the log thread.
class CSysLog {
public:
    CSysLog() = default;
    CSysLog(const CSysLog&) = delete;
    CSysLog& operator=(const CSysLog&) = delete;
    virtual ~CSysLog();

    // Moves the log to another directory: closes the file and opens it there, emptied.
    void SetLogDir(const char* pDir);
    // Threshold: records below this level are not written.
    void SetLevel(int level) { m_level = level; }
    int GetLevel() const { return m_level; }
    const char* GetLogPath() const { return m_logPath; }

    // 0 when the file is open, 10005 otherwise.
    int Open();
    void Close();
    // 0, 10001 (level out of range) or 10005 (write failed or no file open).
    int Write(int level, const char* pFile, int line, const char* pText);

private:
    char m_logPath[LOG_FILE_NAME_SIZE] = {};
    char m_logDir[LOG_FILE_NAME_SIZE] = {};  // empty until SetLogDir: no file
    int m_level = LEVEL_INFO;
    char m_lineBuf[LOG_TEXT_SIZE] = {};
    intptr_t m_hFile = -1;  // the platform's handle of the open file; -1 when none
};

// The log thread: owns the CSysLog and drains its queue of records.
class CLogThread : public CThreadBase {
public:
    ~CLogThread() override = default;

    // Starts the thread and waits (at most 1,000 ms) until it takes records.
    int StartLog();
    // Writes what was posted before, stops the thread and destroys this single object.
    void StopLog();
    // Hands a record to the thread, unless LOG_QUEUE_LIMIT records wait already: then it is
    // counted, and the count is written once the queue takes records again. 0 or 10002.
    int PostRecord(LogRecord* pRecord);
    void HandleMessage(const ThreadMessage* pMsg);
    int Run() override;

    CSysLog m_sysLog;

private:
    void FreeQueued();
    void WriteDropped();

    std::atomic<int> m_waiting{0};
    std::atomic<unsigned long> m_dropped{0};
};

// The single log thread object, created (not started) on first use.
CLogThread* GetLogThread();

// The user's temporary directory, where the programs keep their log. 0, or 10005 (reported)
// when there is none that is safe to use; dir is set only on success.
int GetUserTempDir(std::string& dir);
