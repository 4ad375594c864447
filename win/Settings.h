#pragma once

// The program's one stored setting, the last Exact Search range: DWORD values of the key
// HKEY_CURRENT_USER\Software\Korvane\<program name>\Settings.

#include <cstdint>

extern const wchar_t kBeginIpValue[];  // "DiscoveryBeginIpAddr"
extern const wchar_t kEndIpValue[];    // "DiscoveryEndIpAddr"

// The stored value, or def when there is none (or it is no DWORD).
uint32_t ReadSetting(const wchar_t* pName, uint32_t def);
// false when it could not be stored (logged).
bool WriteSetting(const wchar_t* pName, uint32_t value);
