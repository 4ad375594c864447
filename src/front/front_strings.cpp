#include "front/front_strings.h"

#include <map>

#include "common/common_error.h"
#include "common/common_log.h"

namespace {

struct StringEntry {
    int id;
    const char* text;
};

// English string table; the texts are shown to the user exactly as they stand here.
const StringEntry kStrings[] = {
    {IDS_ABOUTBOX, "About Scoutcam(&A)..."},
    {IDS_TIMEOUT, "Timeout"},
    {IDS_SUCCEED, "Succeed"},
    {IDS_FAILED, "Failed"},
    {IDS_NO_DEVICE, "No device answered the search."},
    {IDS_INVALID_HOST_IP, "It is not a valid host IP."},
    {IDS_INVALID_MASK, "It is not a valid mask address."},
    {IDS_INVALID_GATEWAY, "It is not a valid gateway address."},
    {IDS_RANGE_ORDER, "Start address cannot be larger than end address."},
    {IDS_BEING_MODIFIED, "Being Modified..."},
    {IDS_INVALID_PARAM, "Invalid parameter"},
    {IDS_SYSTEM_FAILED, "System failed"},
    {IDS_NOT_SUPPORTED, "Function not supported."},
    {IDS_NO_MEMORY, "Memory not enough."},
    {IDS_IO_FAILED, "I/O failed"},
    {IDS_ALREADY_ATTACHED, "Object already attched."},
    {IDS_ALREADY_EXISTS, "Object already exist."},
    {IDS_NOT_FOUND, "Object not found."},
    {IDS_SOCKET_BIND, "Socket bind failed."},
    {IDS_DEVICE_NO_IP, "Mandatory equipment IP address information."},
    {IDS_SERIAL_EXPIRED, "Device serial code is no longer invalid."},
    {IDS_SERIAL_INVALID, "Device serial code is invalid."},
    {IDS_PASSWORD_ERROR, "Device password error."},
    {IDS_IP_CONFLICT, "Device IP conflict."},
    {IDS_RANGE_SIZE, "The first three fields of the IP addresses should be the same."},
    {IDS_HOMEPAGE_URL, "http://www.example.com/"},
    {IDS_HOMEPAGE_TIP, "Browse Korvane homepage"},
    {IDS_COL_IP, "IP address"},
    {IDS_COL_TYPE, "Type"},
    {IDS_COL_SERIAL, "Serial Number"},
    {IDS_COL_MAC, "Physical address"},
    {IDS_COL_VERSION, "Version"},
    {IDS_SEARCHING, "Searching devices..."},
    {IDS_STARTUP_FAILED, "Startup service  failed."},
    {IDS_BROWSER_FAILED, "Cannot start a browser for %s."},
};

const std::map<int, int> kCodeToString = {
    {RESULT_OK, IDS_SUCCEED},
    {ERR_GENERAL, IDS_FAILED},
    {ERR_INVALID_PARAM, IDS_INVALID_PARAM},
    {ERR_SYSTEM, IDS_SYSTEM_FAILED},
    {ERR_NOT_SUPPORTED, IDS_NOT_SUPPORTED},
    {ERR_NO_MEMORY, IDS_NO_MEMORY},
    {ERR_IO, IDS_IO_FAILED},
    {ERR_ALREADY_ATTACHED, IDS_ALREADY_ATTACHED},
    {ERR_ALREADY_EXISTS, IDS_ALREADY_EXISTS},
    {ERR_NOT_FOUND, IDS_NOT_FOUND},
    {ERR_TIMEOUT, IDS_TIMEOUT},
    {ERR_SOCKET_BIND, IDS_SOCKET_BIND},
    {11001, IDS_DEVICE_NO_IP},
    {11002, IDS_SERIAL_EXPIRED},
    {11003, IDS_SERIAL_INVALID},
    {11004, IDS_PASSWORD_ERROR},
    {11005, IDS_IP_CONFLICT},
};

}  // namespace

const char* LoadResText(int id) {
    for (const StringEntry& entry : kStrings) {
        if (entry.id == id) {
            return entry.text;
        }
    }
    return "";
}

std::string FormatResText(int id, const std::string& value) {
    std::string text = LoadResText(id);
    const size_t at = text.find("%s");
    if (at != std::string::npos) {
        text.replace(at, 2, value);
    }
    return text;
}

int GetErrMsgId(int code) {
    auto it = kCodeToString.find(code);
    if (it == kCodeToString.end()) {
        LOG_WARN("unknown errcode(%d)", code);
        return IDS_FAILED;
    }
    return it->second;
}

const char* GetErrMsg(int code) {
    return LoadResText(GetErrMsgId(code));
}
