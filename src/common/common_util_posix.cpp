// Time and UUIDs on Linux: the C library's clock and libuuid.

#include <uuid/uuid.h>

#include <cstring>
#include <ctime>

#include "common/common_platform.h"

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
