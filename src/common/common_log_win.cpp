// The log's file and directory on Windows.

#include <windows.h>

#include "common/common_error.h"
#include "common/common_log.h"
#include "common/common_platform.h"

const char kLogPathSeparator = '\\';

namespace {

HANDLE ToHandle(intptr_t file) {
    return reinterpret_cast<HANDLE>(file);
}

}  // namespace

int OpenLogFile(const char* pPath, intptr_t* pFile) {
    // The log is never written into an existing file, which could be a link (symbolic link,
    // junction or hard link) or another user's file: the old name is removed (a link itself,
    // never its target) and a new file is created. CREATE_NEW with FILE_FLAG_OPEN_REPARSE_POINT
    // fails on whatever appears at the name in between, a link included. Sharing for reading
    // only lets others read the log but not write, replace or delete it while it is open, so a
    // second instance cannot remove a log in use.
    DWORD deleteError = DeleteFileA(pPath) ? ERROR_SUCCESS : GetLastError();
    HANDLE hFile = CreateFileA(pPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        LOG_ERROR("CreateFileA(%s) failed(errorcode:%lu, of DeleteFileA:%lu)", pPath,
                  GetLastError(), deleteError);
        return ERR_IO;
    }
    *pFile = reinterpret_cast<intptr_t>(hFile);
    return RESULT_OK;
}

void CloseLogFile(intptr_t file) {
    CloseHandle(ToHandle(file));
}

long long LogFileSize(intptr_t file) {
    LARGE_INTEGER size;
    return GetFileSizeEx(ToHandle(file), &size) ? size.QuadPart : -1;
}

bool WriteLogFile(intptr_t file, const char* pData, size_t len) {
    DWORD written = 0;
    return len <= MAXDWORD &&
           WriteFile(ToHandle(file), pData, static_cast<DWORD>(len), &written, nullptr) &&
           written == len;
}

int GetUserTempDir(std::string& dir) {
    char buf[MAX_PATH + 1] = {};
    DWORD len = GetTempPathA(sizeof(buf), buf);
    if (len == 0 || len >= sizeof(buf)) {
        LOG_ERROR("GetTempPathA failed(len:%lu errorcode:%lu)", len, GetLastError());
        return ERR_IO;
    }
    dir.assign(buf, len);
    return RESULT_OK;
}
