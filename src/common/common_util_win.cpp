// Time and UUIDs on Windows: GetLocalTime and UuidCreate.

#include <windows.h>
#include <rpc.h>

#include "common/common_error.h"
#include "common/common_log.h"
#include "common/common_platform.h"
#include "common/common_util.h"

void ReadLocalTime(LocalTimeParts* pTime) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    pTime->year = now.wYear;
    pTime->month = now.wMonth;
    pTime->day = now.wDay;
    pTime->hour = now.wHour;
    pTime->minute = now.wMinute;
    pTime->second = now.wSecond;
    pTime->millisecond = now.wMilliseconds;
}

void NewUuidBytes(uint8_t bytes[16]) {
    // A UUID unique to this computer only (RPC_S_UUID_LOCAL_ONLY) still names one client.
    UUID uuid = {};
    RPC_STATUS status = UuidCreate(&uuid);
    if (status != RPC_S_OK && status != RPC_S_UUID_LOCAL_ONLY) {
        LOG_ERROR("UuidCreate failed(status:%ld)", static_cast<long>(status));
    }
    // The three leading fields are numbers; written out they are big-endian.
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<uint8_t>(uuid.Data1 >> (24 - 8 * i));
    }
    bytes[4] = static_cast<uint8_t>(uuid.Data2 >> 8);
    bytes[5] = static_cast<uint8_t>(uuid.Data2);
    bytes[6] = static_cast<uint8_t>(uuid.Data3 >> 8);
    bytes[7] = static_cast<uint8_t>(uuid.Data3);
    for (int i = 0; i < 8; ++i) {
        bytes[8 + i] = uuid.Data4[i];
    }
}

// Windows Error Reporting decides about crash dumps for the whole system; a process has no
// switch of its own.
int KeepOutOfCoreFiles() {
    return RESULT_OK;
}
