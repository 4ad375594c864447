#pragma once
// The simulated devices: identities, behaviours, generation from a seed and description files.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

// What a device does besides answering correctly. Every field has a harmless default.
struct Behaviour {
    uint32_t delayMs = 0;     // fixed delay before each answer
    uint32_t delayMaxMs = 0;  // plus a random delay of 0..delayMaxMs
    uint32_t copies = 1;      // how many times each answer is sent
    uint32_t matches = 1;     // probe matches per answer datagram
    bool wsa5 = false;        // wsa5:RelatesTo instead of wsa:RelatesTo
    bool noXAddrs = false;    // probe match without XAddrs
    bool noScopes = false;    // probe match without Scopes
    bool silent = false;      // never answers anything
    bool strict = false;      // ignores a message without wsa:Action or with another action
    uint32_t drop = 0;        // loses the first drop datagrams that reach it (a lossy link)
    int result = 0;           // fixed result of configuration answers (0: decide normally)
    std::string hostile;      // answer a probe with a hostile datagram instead (see HostileKinds)
};

// The kinds accepted by Behaviour::hostile.
extern const char* const HostileKinds[];

struct Device {
    uint32_t ip = 0;       // host order
    uint32_t prefix = 16;  // prefix length of the address on the interface
    std::string uuid;      // endpoint reference, "urn:uuid:..."
    std::string model;     // hardware scope (UTF-8)
    std::string name;      // name scope
    std::string serial;
    std::string mac;  // text as carried in the macaddr scope and in DeviceId
    std::string version;
    std::string location;
    std::string password;    // administrator password (plain)
    std::string serialCode;  // code that restores the default password
    Behaviour behaviour;
};

// Applies "key=value,key=value" to a behaviour. Returns false and sets error on a bad item.
bool ParseBehaviour(const std::string& list, Behaviour& behaviour, std::string& error);

struct FleetOptions {
    uint64_t seed = 1;
    uint32_t count = 10;
    uint32_t base = 0xC612000A;  // 198.18.0.10
    uint32_t prefix = 16;
};

// Generates count devices from base upwards, skipping host parts ending in .0 and .255.
std::vector<Device> GenerateFleet(const FleetOptions& options);

// Reads a description file: one device per line, blank-separated key=value fields
// (ip, model, name, serial, mac, version, location, password, code, prefix and behaviour keys);
// '#' starts a comment. Missing fields are generated from the seed.
bool ReadFleetFile(const std::string& path, const FleetOptions& options, std::vector<Device>& fleet,
                   std::string& error);

std::string IpText(uint32_t ip);                      // host order to dotted text
bool ParseIp(const std::string& text, uint32_t& ip);  // dotted text to host order

// The scramble of an administrator password, as a client sends it in AuthCode.
std::string ScramblePassword(const std::string& password);

// The ONVIF scopes of a device, blank separated.
std::string ScopesOf(const Device& device);

void PrintFleetCsv(const std::vector<Device>& fleet, std::ostream& out);
void PrintFleetJson(const std::vector<Device>& fleet, std::ostream& out);
