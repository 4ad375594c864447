#pragma once
// camsim's command line: the options, their usage text, and the fleet they describe.

#include <cstdint>
#include <string>
#include <vector>

#include "camsim_fleet.h"

struct Options {
    FleetOptions fleet;
    std::string file;
    std::string list;  // "", "csv" or "json"
    std::string iface;
    uint16_t port = 3702;
    bool manageAddresses = true;
    std::string fleetBehaviour;
    std::vector<std::string> deviceBehaviours;
};

// Parses argv into o. Returns -1 to go on, otherwise the exit status (--help printed, or a
// usage error reported on stderr).
int ParseOptions(int argc, char** argv, Options& o);

// Parses a decimal number of at most max; false for anything else (signs, blanks, overflow).
bool ParseNumber(const char* text, uint64_t max, uint64_t& value);

// Reports a usage error on stderr and returns its exit status.
int UsageError(const std::string& message);

// The devices the options describe (generated or read from --file), with their behaviours.
bool BuildFleet(const Options& o, std::vector<Device>& fleet, std::string& error);
