#pragma once

// IPv4 addresses as the user enters and sees them: dotted text, the mask that goes with an
// address, and the checks of a new address and of a search range. Addresses are host byte
// order, the first dotted field in the most significant byte.

#include <cstdint>
#include <string>

// Four decimal fields of 0..255, nothing else (no octal, hexadecimal or short forms).
bool ParseIpv4(const std::string& text, uint32_t* pAddress);
// The address of a dotted-quad text; 0xFFFFFFFF for a text that is none, which lies above
// every range.
uint32_t IpTextToHost(const std::string& text);
// Dotted text of an address.
std::string HostToIpText(uint32_t address);

// The mask that goes with an address by its first field: 255.0.0.0 below 127, 255.255.0.0 up
// to 191, 255.255.255.0 from 192 on.
uint32_t DefaultMaskOf(uint32_t ip);

// A device's new settings, checked in this order: a host address, a mask, and a gateway that
// is none (0) or a host address of the same subnet. 0 when they are consistent, else the
// string id of the first refusal (IDS_INVALID_HOST_IP, IDS_INVALID_MASK,
// IDS_INVALID_GATEWAY).
int CheckNewAddress(uint32_t ip, uint32_t mask, uint32_t gateway);

// The range of an exact search: ordered, and at most 257 addresses. 0, IDS_RANGE_ORDER or
// IDS_RANGE_SIZE.
int CheckRange(uint32_t begin, uint32_t end);
