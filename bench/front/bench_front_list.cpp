// Cost of the device list rule per record: a fleet whose every record arrives twice (as from
// the multicast and the broadcast probe), and a flood of distinct records from one sender.
// The time per record should not grow with the list.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "front/front_address.h"
#include "front/front_device_list.h"

namespace {

CDiscoveryBean Device(int i) {
    CDiscoveryBean b;
    b.m_ipAddr = HostToIpText(0x0A000001u + static_cast<uint32_t>(i));
    b.m_hardware = "KV-IPC2140";
    b.m_serialNo = "KV" + std::to_string(100000 + i);
    b.m_macAddr = "001b8901" + std::to_string(1000 + i % 9000);
    b.m_version = "V5.3.10.build230347";
    return b;
}

void BM_ListFleetTwice(benchmark::State& state) {
    const int devices = static_cast<int>(state.range(0));
    std::vector<CDiscoveryBean> fleet;
    for (int i = 0; i < devices; ++i) {
        fleet.push_back(Device(i));
    }
    for (auto _ : state) {
        CDeviceList list;
        for (int round = 0; round < 2; ++round) {
            for (const CDiscoveryBean& record : fleet) {
                list.Add(record);
            }
        }
        if (list.Size() != static_cast<size_t>(devices)) {
            state.SkipWithError("records missing");
        }
    }
    state.SetItemsProcessed(state.iterations() * devices * 2);
}
BENCHMARK(BM_ListFleetTwice)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

// One address, a new serial number in each record, in an exact search of that address.
void BM_FloodFromOneSender(benchmark::State& state) {
    const int records = static_cast<int>(state.range(0));
    std::vector<CDiscoveryBean> flood;
    for (int i = 0; i < records; ++i) {
        CDiscoveryBean b = Device(0);
        b.m_serialNo = "X" + std::to_string(i);
        flood.push_back(b);
    }
    for (auto _ : state) {
        CDeviceList list;
        list.SetRange(true, 0x0A000001u, 0x0A000001u);
        for (const CDiscoveryBean& record : flood) {
            list.Add(record);
        }
    }
    state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_FloodFromOneSender)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
