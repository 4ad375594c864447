#pragma once

// The parts of a configuration request as both programs build them from what the user gave.

#include <cstdint>
#include <string>

#include "mc/mc_client.h"

// The operator of an address change: user "admin" and the scrambled password (narrow text).
// 0, or 10001 when the scrambler cannot take the password (longer than 127 bytes): such a
// password is refused rather than sent as an empty code. user is set only on success.
int MakeOperator(const CSecretText& password, UserInfo& user);

// The device a request is for, as its record holds it (the MAC text as the device sent it).
DeviceIdentity MakeDeviceIdentity(const CDiscoveryBean& device);

// New settings from host-order addresses.
DeviceAddress MakeDeviceAddress(uint32_t ip, uint32_t mask, uint32_t gateway);
