#pragma once

// The program's string table and the text of each result code. Plain C++, without Qt, so that
// the window and the command line tell the user the same words.

#include <string>

// Ids of the program's string table.
enum StringId : int {
    IDS_ABOUTBOX = 101,
    IDS_TIMEOUT = 102,
    IDS_SUCCEED = 103,
    IDS_FAILED = 104,
    IDS_NO_DEVICE = 105,
    IDS_INVALID_HOST_IP = 107,
    IDS_INVALID_MASK = 108,
    IDS_INVALID_GATEWAY = 109,
    IDS_RANGE_ORDER = 110,
    IDS_BEING_MODIFIED = 111,
    IDS_INVALID_PARAM = 113,
    IDS_SYSTEM_FAILED = 114,
    IDS_NOT_SUPPORTED = 115,
    IDS_NO_MEMORY = 116,
    IDS_IO_FAILED = 117,
    IDS_ALREADY_ATTACHED = 118,
    IDS_ALREADY_EXISTS = 119,
    IDS_NOT_FOUND = 120,
    IDS_SOCKET_BIND = 121,
    IDS_DEVICE_NO_IP = 122,
    IDS_SERIAL_EXPIRED = 123,
    IDS_SERIAL_INVALID = 124,
    IDS_PASSWORD_ERROR = 125,
    IDS_IP_CONFLICT = 126,
    IDS_RANGE_SIZE = 127,
    IDS_HOMEPAGE_URL = 128,
    IDS_HOMEPAGE_TIP = 129,
    IDS_COL_IP = 130,
    IDS_COL_TYPE = 131,
    IDS_COL_SERIAL = 132,
    IDS_COL_MAC = 133,
    IDS_COL_VERSION = 134,
    IDS_SEARCHING = 135,
    IDS_STARTUP_FAILED = 136,
    IDS_BROWSER_FAILED = 137,
};

// The text stored under a string id (UTF-8); empty for an id that holds none.
const char* LoadResText(int id);

// The text stored under a string id with its "%s" replaced by value, taken as it is.
std::string FormatResText(int id, const std::string& value);

// The string id of the text that tells the user a result code; 104 ("Failed") for a code
// without a text of its own, which is logged.
int GetErrMsgId(int code);

// The text that tells the user a result code (UTF-8).
const char* GetErrMsg(int code);
