#pragma once

#include <cstdint>
#include <string>

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

// Thread message that carries one LogRecord to the log thread (lParam: its address).
constexpr uint32_t LOG_MSG_RECORD = THREAD_MSG_USER + 1000;

constexpr int LOG_FILE_NAME_SIZE = 260;
constexpr int LOG_TEXT_SIZE = 1024;
constexpr long LOG_FILE_SIZE_LIMIT = 2097152;  // beyond this the file is started afresh

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
    void HandleMessage(const ThreadMessage* pMsg);
    int Run() override;

    CSysLog m_sysLog;

private:
    void FreeQueued();
};

// The single log thread object, created (not started) on first use.
CLogThread* GetLogThread();

// The user's temporary directory, where the programs keep their log. 0, or 10005 (reported)
// when there is none that is safe to use; dir is set only on success.
int GetUserTempDir(std::string& dir);
