#include "front/front_address.h"

#include <arpa/inet.h>

#include "common/common_util.h"
#include "front/front_strings.h"

namespace {
const uint32_t kMaxRangeSpan = 256;  // end - begin: 257 addresses at most
}  // namespace

bool ParseIpv4(const std::string& text, uint32_t* pAddress) {
    // inet_pton takes exactly four decimal fields of 0..255 without leading zeros.
    struct in_addr addr;
    if (inet_pton(AF_INET, text.c_str(), &addr) != 1) {
        return false;
    }
    *pAddress = ntohl(addr.s_addr);
    return true;
}

uint32_t IpTextToHost(const std::string& text) {
    uint32_t address = 0;
    return ParseIpv4(text, &address) ? address : 0xFFFFFFFFu;
}

std::string HostToIpText(uint32_t address) {
    std::string text;
    IpToString(htonl(address), text);
    return text;
}

uint32_t DefaultMaskOf(uint32_t ip) {
    const uint32_t first = ip >> 24;
    if (first < 127) {
        return 0xFF000000u;
    }
    if (first <= 191) {
        return 0xFFFF0000u;
    }
    return 0xFFFFFF00u;
}

int CheckNewAddress(uint32_t ip, uint32_t mask, uint32_t gateway) {
    if (!IsValidHostAddr(ip)) {
        return IDS_INVALID_HOST_IP;
    }
    if (!IsValidMask(mask)) {
        return IDS_INVALID_MASK;
    }
    if (gateway != 0 && (!IsValidHostAddr(gateway) || !IsSameSubnet(ip, gateway, mask))) {
        return IDS_INVALID_GATEWAY;
    }
    return 0;
}

int CheckRange(uint32_t begin, uint32_t end) {
    if (begin > end) {
        return IDS_RANGE_ORDER;
    }
    if (end - begin > kMaxRangeSpan) {
        return IDS_RANGE_SIZE;
    }
    return 0;
}
