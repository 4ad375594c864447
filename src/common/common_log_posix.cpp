// The log's file and directory on Linux.

#include "common/common_log_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "common/common_error.h"
#include "common/common_log.h"
#include "common/common_platform.h"

const char kLogPathSeparator = '/';

int OpenLogFile(const char* pPath, intptr_t* pFile) {
    // The directory may be world-writable: never follow a link, never block on a fifo, and
    // empty the file only once it is known to be our own regular file with no other name. The
    // lock keeps a second instance from writing into (or emptying) a log that is in use.
    int fd = open(pPath, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        LOG_ERROR("open(%s) failed(errno:%d)", pPath, errno);
        return ERR_IO;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_nlink != 1) {
        LOG_ERROR("log file(%s) is not a regular file of this user with one name", pPath);
        close(fd);
        return ERR_IO;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, 0) != 0 || fchmod(fd, 0600) != 0) {
        LOG_ERROR("lock, truncate or chmod(%s) failed(errno:%d)", pPath, errno);
        close(fd);
        return ERR_IO;
    }
    *pFile = fd;
    return RESULT_OK;
}

void CloseLogFile(intptr_t file) {
    close(static_cast<int>(file));
}

long long LogFileSize(intptr_t file) {
    struct stat st;
    return fstat(static_cast<int>(file), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

bool WriteLogFile(intptr_t file, const char* pData, size_t len) {
    ssize_t written = write(static_cast<int>(file), pData, len);
    return written >= 0 && static_cast<size_t>(written) == len;
}

int GetPrivateTempDir(const char* pBase, std::string& dir) {
    std::string path = std::string(pBase) + "/scoutcam-" + std::to_string(geteuid());
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        LOG_ERROR("mkdir(%s) failed(errno:%d)", path.c_str(), errno);
        return ERR_IO;
    }
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
        (st.st_mode & 07777) != 0700) {
        LOG_ERROR("temp dir(%s) is not a directory of this user with mode 0700", path.c_str());
        return ERR_IO;
    }
    dir = path;
    return RESULT_OK;
}

int GetUserTempDir(std::string& dir) {
    for (const char* pName : {"TMPDIR", "XDG_RUNTIME_DIR"}) {
        const char* pValue = getenv(pName);
        if (pValue != nullptr && *pValue != '\0') {
            dir = pValue;
            return RESULT_OK;
        }
    }
    return GetPrivateTempDir("/tmp", dir);
}
