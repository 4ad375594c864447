#include "Settings.h"

#include "common/common_log.h"
#include "win_text.h"

#include <windows.h>

#include <string>

const wchar_t kBeginIpValue[] = L"DiscoveryBeginIpAddr";
const wchar_t kEndIpValue[] = L"DiscoveryEndIpAddr";

namespace {

std::wstring SettingsKey() {
    return L"Software\\Korvane\\" + AppName() + L"\\Settings";
}

}  // namespace

uint32_t ReadSetting(const wchar_t* pName, uint32_t def) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, SettingsKey().c_str(), pName,
                                        RRF_RT_REG_DWORD, nullptr, &value, &size);
    return status == ERROR_SUCCESS ? value : def;
}

bool WriteSetting(const wchar_t* pName, uint32_t value) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKey().c_str(), 0, nullptr, 0,
                                     KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        const DWORD data = value;
        status = RegSetValueExW(key, pName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                sizeof(data));
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
        LOG_ERROR("write setting(%ls) failed(%ld)", pName, static_cast<long>(status));
        return false;
    }
    return true;
}
