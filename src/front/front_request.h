#pragma once

// The parts of a configuration request as both programs build them from what the user gave.

#include <cstdint>
#include <functional>
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

// A device command's request as a worker runs it: it blocks for up to 10 s and returns the
// client's result.
using DeviceRequest = std::function<int()>;

// Where a device command goes: to the device's own address after an Exact Search, to every
// segment (0) after an Auto Search.
uint32_t CommandTarget(bool exactSearch, const CDiscoveryBean& record);

// Edit Network Address for the device of a record, with the confirmed settings. 0 and
// *pRequest set, or 10001 when the password cannot be scrambled (nothing is to be sent). The
// scrambled password lives in the request only, shared by its copies, and is wiped with the
// last of them.
int MakeAddressRequest(IDiscoveryClient* pClient, uint32_t target, const CDiscoveryBean& record,
                       const CSecretText& password, const DeviceAddress& newAddr,
                       DeviceRequest* pRequest);

// Restore Device Password for the device of a record; the serial code lives in the request,
// as the password does in MakeAddressRequest's.
DeviceRequest MakePasswordRequest(IDiscoveryClient* pClient, uint32_t target,
                                  const CDiscoveryBean& record, CSecretText serialCode);
