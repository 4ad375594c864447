#pragma once

// The devices a search found and how scoutcam-cli prints them.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "cli_options.h"
#include "front/front_device_list.h"
#include "mc/mc_observer.h"

// Collects the records of one search window by the rule of the device list, as the main
// window lists them. Update runs on a thread of the client.
class CDeviceCollector : public IObserver<CDiscoveryBean> {
public:
    // A range of [0, 0] accepts every address (Auto Search).
    CDeviceCollector(uint32_t first, uint32_t last);
    void Update(const CDiscoveryBean* pData) override;
    std::vector<CDiscoveryBean> Devices();

private:
    std::mutex m_lock;
    CDeviceList m_devices;
};

std::string FormatTable(const std::vector<CDiscoveryBean>& devices);
std::string FormatJson(const std::vector<CDiscoveryBean>& devices);
std::string FormatCsv(const std::vector<CDiscoveryBean>& devices);
std::string FormatDevices(const std::vector<CDiscoveryBean>& devices, CliFormat format);
