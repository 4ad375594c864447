#pragma once

// What each platform supplies to the common runtime: common_*_posix.cpp on Linux,
// common_*_win.cpp on Windows. The rules around these calls live in the topic modules.

#include <cstddef>
#include <cstdint>
#include <vector>

// Log file. A handle is a file descriptor on Linux and a HANDLE on Windows; -1 is none.
constexpr intptr_t LOG_NO_FILE = -1;
// Separator between the log directory and the file name.
extern const char kLogPathSeparator;
// Opens the log file at pPath emptied, for writing by this process only. Never writes through
// a link nor into a file of another user. 0 or 10005 (reported).
int OpenLogFile(const char* pPath, intptr_t* pFile);
void CloseLogFile(intptr_t file);
// Current size in bytes; -1 when it cannot be read.
long long LogFileSize(intptr_t file);
// Writes the bytes in one call; false when not all were written.
bool WriteLogFile(intptr_t file, const char* pData, size_t len);

// Text conversion between the charset codes of common_charset.h. srcUnits counts units of the
// source encoding; out receives the destination's bytes. Invalid input and characters the
// destination lacks are replaced. 0 or 10002 (reported).
int TranscodeText(int srcCharset, int dstCharset, const void* pSrc, size_t srcUnits,
                  std::vector<char>& out);

// Local time, broken down as the log's time stamp shows it.
struct LocalTimeParts {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
    int millisecond;
};
void ReadLocalTime(LocalTimeParts* pTime);

// A new random UUID, its sixteen bytes in the order they are written (RFC 4122).
void NewUuidBytes(uint8_t bytes[16]);
