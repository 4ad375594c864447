#include "front/front_address.h"

#include "common/common_util.h"
#include "front/front_strings.h"

namespace {
const uint32_t kMaxRangeSpan = 256;  // end - begin: 257 addresses at most
}  // namespace

bool ParseIpv4(const std::string& text, uint32_t* pAddress) {
    uint32_t address = 0;
    size_t i = 0;
    for (int field = 0; field < 4; ++field) {
        if (field > 0) {
            if (i == text.size() || text[i] != '.') {
                return false;
            }
            ++i;
        }
        const size_t start = i;
        uint32_t value = 0;
        while (i < text.size() && i - start < 3 && text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + static_cast<uint32_t>(text[i] - '0');
            ++i;
        }
        const size_t digits = i - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) {
            return false;
        }
        address = (address << 8) | value;
    }
    if (i != text.size()) {
        return false;
    }
    *pAddress = address;
    return true;
}

uint32_t IpTextToHost(const std::string& text) {
    uint32_t address = 0;
    return ParseIpv4(text, &address) ? address : 0xFFFFFFFFu;
}

std::string HostToIpText(uint32_t address) {
    return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xFF) + '.' +
           std::to_string((address >> 8) & 0xFF) + '.' + std::to_string(address & 0xFF);
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
