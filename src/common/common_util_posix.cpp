// Time, UUIDs and core files on Linux: the C library's clock, libuuid and prctl.

#include <sys/prctl.h>
#include <uuid/uuid.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "common/common_error.h"
#include "common/common_log.h"
#include "common/common_platform.h"
#include "common/common_util.h"

void ReadLocalTime(LocalTimeParts* pTime) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    pTime->year = local.tm_year + 1900;
    pTime->month = local.tm_mon + 1;
    pTime->day = local.tm_mday;
    pTime->hour = local.tm_hour;
    pTime->minute = local.tm_min;
    pTime->second = local.tm_sec;
    pTime->millisecond = static_cast<int>(now.tv_nsec / 1000000);
}

void NewUuidBytes(uint8_t bytes[16]) {
    uuid_t uuid;
    uuid_generate(uuid);
    memcpy(bytes, uuid, sizeof(uuid));
}

int KeepOutOfCoreFiles() {
    if (prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0) {
        LOG_ERROR("prctl(PR_SET_DUMPABLE) failed(errno:%d)", errno);
        return ERR_SYSTEM;
    }
    return RESULT_OK;
}
