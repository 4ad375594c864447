// camsim: plays a fleet of ONVIF network video transmitters on one interface, for the tests,
// the benchmarks and a demonstration network (see camsim --help).

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "camsim_fleet.h"
#include "camsim_loop.h"
#include "camsim_netaddr.h"
#include "camsim_options.h"
#include "camsim_wire.h"

int main(int argc, char** argv) {
    auto started = std::chrono::steady_clock::now();
    Options options;
    int status = ParseOptions(argc, argv, options);
    if (status >= 0) {
        return status;
    }
    InitXml();
    std::vector<Device> fleet;
    std::string error;
    if (!BuildFleet(options, fleet, error)) {
        return UsageError(error);
    }
    if (options.list == "csv") {
        PrintFleetCsv(fleet, std::cout);
        return 0;
    }
    if (options.list == "json") {
        PrintFleetJson(fleet, std::cout);
        return 0;
    }
    if (options.iface.empty()) {
        options.iface = OnlyInterface();
        if (options.iface.empty()) {
            return UsageError("several interfaces or none: choose one with --iface");
        }
    }
    size_t count = fleet.size();
    Simulator simulator(options, std::move(fleet));
    if (!simulator.Start(error)) {
        std::cerr << "camsim: " << error << "\n";
        simulator.RemoveAddresses();
        return 1;
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    std::printf("camsim ready: %zu devices on %s port %u (start %lld ms)\n", count,
                options.iface.c_str(), options.port, static_cast<long long>(ms.count()));
    std::fflush(stdout);
    simulator.Run();
    simulator.RemoveAddresses();
    return 0;
}
