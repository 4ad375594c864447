#pragma once

// Result codes shared by every subsystem: 0 is success, everything else a failure.
enum ResultCode : int {
    RESULT_OK = 0,
    ERR_GENERAL = 10000,           // general failure
    ERR_INVALID_PARAM = 10001,     // invalid parameter
    ERR_SYSTEM = 10002,            // system failure (thread, queue or allocation)
    ERR_NOT_SUPPORTED = 10003,     // function not supported
    ERR_NO_MEMORY = 10004,         // not enough memory or output buffer too small
    ERR_IO = 10005,                // input/output failure
    ERR_ALREADY_ATTACHED = 10006,  // object already attached
    ERR_ALREADY_EXISTS = 10007,    // object already exists
    ERR_NOT_FOUND = 10008,         // object not found
    ERR_TIMEOUT = 10009,           // timeout
    ERR_SOCKET_BIND = 11000,       // socket bind failed
    ERR_DEVICE_BASE = 11001,       // 11001..11005: a device refused (device results 258..262)
    ERR_DEVICE_LAST = 11005,
};
