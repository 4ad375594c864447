#pragma once

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

// Returns 0 when the record was posted to the log thread, 10002 otherwise.
int WriteLog(int level, const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Report from the calling source line.
#define SC_LOG(level, ...) WriteLog((level), __FILE__, __LINE__, __VA_ARGS__)
#define LOG_DEBUG(...) SC_LOG(LEVEL_DEBUG, __VA_ARGS__)
#define LOG_INFO(...) SC_LOG(LEVEL_INFO, __VA_ARGS__)
#define LOG_WARN(...) SC_LOG(LEVEL_WARN, __VA_ARGS__)
#define LOG_ERROR(...) SC_LOG(LEVEL_ERROR, __VA_ARGS__)
