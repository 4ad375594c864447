#include "common/common_util.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <cstdio>
#include <cstring>

#include "common/common_error.h"
#include "common/common_log.h"
#include "common/common_platform.h"

const char* GetFileName(const char* pPath) {
    if (pPath == nullptr) {
        LOG_ERROR("invalid param");
        return nullptr;
    }
    const char* pName = pPath;
    for (const char* p = pPath; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') {
            pName = p + 1;
        }
    }
    return pName;
}

void GetLocalTimeString(const char* pFormat, std::string& out) {
    if (pFormat == nullptr) {
        LOG_ERROR("invalid param");
        return;
    }
    LocalTimeParts now;
    ReadLocalTime(&now);
    char buf[64] = {};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    snprintf(buf, sizeof(buf), pFormat, now.year, now.month, now.day, now.hour, now.minute,
             now.second, now.millisecond);
#pragma GCC diagnostic pop
    out += buf;
}

namespace {

constexpr uint8_t kCipherKey = 0xB6;
constexpr char kCipherMarker[] = "vacantcipher";
constexpr size_t kCipherBufSize = 256;

char CipherChar(unsigned nibble) {
    return static_cast<char>(33 + 5 * nibble);
}

}  // namespace

int Text2Cipher(const char* pInput, uint32_t length, char* pOutput, uint32_t size) {
    if (pInput == nullptr || pOutput == nullptr) {
        return ERR_INVALID_PARAM;
    }
    if (static_cast<uint64_t>(size) < 2ULL * length + 1) {
        return ERR_NO_MEMORY;
    }
    if (length == 0) {
        if (size < sizeof(kCipherMarker)) {
            return ERR_NO_MEMORY;
        }
        memcpy(pOutput, kCipherMarker, sizeof(kCipherMarker));
        return RESULT_OK;
    }
    uint8_t key = kCipherKey;
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t c = static_cast<uint8_t>(pInput[i]) ^ key;
        pOutput[2 * i] = CipherChar(c >> 4);
        pOutput[2 * i + 1] = CipherChar(c & 15);
        key = static_cast<uint8_t>(~key);
    }
    pOutput[2 * length] = '\0';
    return RESULT_OK;
}

int Text2CipherString(const CSecretText& input, CSecretText& output) {
    char buf[kCipherBufSize] = {};
    int result =
        Text2Cipher(input.CStr(), static_cast<uint32_t>(strlen(input.CStr())), buf, sizeof(buf));
    if (result != RESULT_OK) {
        LOG_ERROR("Text2Cipher failed");
        return result;
    }
    output = CSecretText(std::string_view(buf));
    WipeBytes(buf, sizeof(buf));
    return RESULT_OK;
}

bool IsValidHostAddr(uint32_t addr) {
    uint32_t first = addr >> 24;
    uint32_t last = addr & 0xFF;
    return first != 0 && first != 127 && first <= 223 && last != 0 && last != 255;
}

bool IsValidMask(uint32_t mask) {
    while (mask != 0) {
        if ((mask & 0x80000000U) == 0) {
            return false;
        }
        mask <<= 1;
    }
    return true;
}

bool IsSameSubnet(uint32_t addrA, uint32_t addrB, uint32_t mask) {
    return (addrA & mask) == (addrB & mask);
}

int IpToString(uint32_t addrNetOrder, std::string& out) {
    struct in_addr addr;
    addr.s_addr = addrNetOrder;
    char buf[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &addr, buf, sizeof(buf)) == nullptr) {
        LOG_ERROR("inet_ntop(ip:0x%x) failed", addrNetOrder);
        return ERR_INVALID_PARAM;
    }
    out = buf;
    return RESULT_OK;
}

std::string CreateUuidString() {
    uint8_t uuid[16];
    NewUuidBytes(uuid);
    char buf[64] = {};
    snprintf(buf, sizeof(buf),
             "%02X%02X%02X%02X-%02X%02X-%02x%02x-%02X%02X-%02X%02X%02X%02X%02X%02X", uuid[0],
             uuid[1], uuid[2], uuid[3], uuid[4], uuid[5], uuid[6], uuid[7], uuid[8], uuid[9],
             uuid[10], uuid[11], uuid[12], uuid[13], uuid[14], uuid[15]);
    return buf;
}
