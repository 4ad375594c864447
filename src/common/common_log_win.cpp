// The log's file and directory on Windows.

#include <windows.h>
#include <aclapi.h>

#include "common/common_error.h"
#include "common/common_log.h"
#include "common/common_platform.h"

const char kLogPathSeparator = '\\';

namespace {

HANDLE ToHandle(intptr_t file) {
    return reinterpret_cast<HANDLE>(file);
}

// Whether the token's user (TokenUser) or the owner it gives new objects (TokenOwner) is pSid.
bool TokenSidIs(HANDLE hToken, TOKEN_INFORMATION_CLASS infoClass, PSID pSid) {
    alignas(TOKEN_USER) BYTE info[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD len = 0;
    if (!GetTokenInformation(hToken, infoClass, info, sizeof(info), &len)) {
        return false;
    }
    PSID pTokenSid = infoClass == TokenUser ? reinterpret_cast<TOKEN_USER*>(info)->User.Sid
                                            : reinterpret_cast<TOKEN_OWNER*>(info)->Owner;
    return EqualSid(pTokenSid, pSid) != FALSE;
}

// Whether this process's user owns the file, or the owner that this process gives the files it
// creates (for an elevated administrator, the Administrators group).
bool IsOwnFile(HANDLE hFile) {
    PSID pOwner = nullptr;
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    if (GetSecurityInfo(hFile, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &pOwner, nullptr,
                        nullptr, nullptr, &pDescriptor) != ERROR_SUCCESS) {
        return false;
    }
    bool own = false;
    HANDLE hToken = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken)) {
        own = TokenSidIs(hToken, TokenUser, pOwner) || TokenSidIs(hToken, TokenOwner, pOwner);
        CloseHandle(hToken);
    }
    LocalFree(pDescriptor);
    return own;
}

}  // namespace

int OpenLogFile(const char* pPath, intptr_t* pFile) {
    // The directory may be shared with other users. FILE_FLAG_OPEN_REPARSE_POINT opens a link
    // at the name (symbolic link, junction) itself, never its target, and the file is emptied
    // only once it is known to be a plain file of this user with no other name (no hard link).
    // Sharing for reading only lets others read the log but not write or delete it while it is
    // open, and keeps a second instance from writing into (or emptying) a log in use; a reader
    // that keeps the old log open, sharing it for writing, does not stop a new start.
    HANDLE hFile =
        CreateFileA(pPath, GENERIC_WRITE | READ_CONTROL, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        LOG_ERROR("CreateFileA(%s) failed(errorcode:%lu)", pPath, GetLastError());
        return ERR_IO;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const DWORD notPlain = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
    if (!GetFileInformationByHandle(hFile, &info) || (info.dwFileAttributes & notPlain) != 0 ||
        info.nNumberOfLinks != 1 || !IsOwnFile(hFile)) {
        LOG_ERROR("log file(%s) is not a plain file of this user with one name", pPath);
        CloseHandle(hFile);
        return ERR_IO;
    }
    if (!SetEndOfFile(hFile)) {  // the file pointer is at the start
        LOG_ERROR("SetEndOfFile(%s) failed(errorcode:%lu)", pPath, GetLastError());
        CloseHandle(hFile);
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
