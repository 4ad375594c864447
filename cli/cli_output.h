#pragma once

// The devices a search found and how scoutcam-cli prints them.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "cli_options.h"
#include "mc/mc_observer.h"

// Collects the records of one search window the way the main window lists them: in an
// exact search records from outside the range are dropped, and a record equal in all six
// fields to a listed one is dropped.
class CDeviceCollector : public IObserver<CDiscoveryBean> {
public:
    // A range of [0, 0] accepts every address (Auto Search).
    CDeviceCollector(uint32_t first, uint32_t last) : m_first(first), m_last(last) {}
    void Update(const CDiscoveryBean* pData) override;
    std::vector<CDiscoveryBean> Devices();

private:
    uint32_t m_first;
    uint32_t m_last;
    std::mutex m_lock;
    std::vector<CDiscoveryBean> m_devices;
};

// The MAC text as the device list shows it: upper case, a "-" after every second character.
std::string FormatMac(const std::string& mac);

std::string FormatTable(const std::vector<CDiscoveryBean>& devices);
std::string FormatJson(const std::vector<CDiscoveryBean>& devices);
std::string FormatCsv(const std::vector<CDiscoveryBean>& devices);
std::string FormatDevices(const std::vector<CDiscoveryBean>& devices, CliFormat format);

// The user text of a result code.
const char* ResultText(int code);
