#include "camsim_fleet.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <sstream>

const char* const HostileKinds[] = {"truncated", "oversized", "wrong-relates", "hello",
                                    "bye",       "garbage",   "fault",         nullptr};

namespace {

// splitmix64: small, good enough and the same on every machine.
uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

struct Makers {
    const char* brand;
    const char* prefix;
    const char* models[4];
    const char* macSeparator;  // the maker's own devices send the bare twelve digits
};

// The maker's own brands (names carrying "Korvane" or "Ostrel") and three others.
const Makers kMakers[] = {
    {"Korvane", "KV", {"KV-IPC2140", "KV-IPC3221-Z", "KV-NVR3208", "KV-PTZ5030"}, ""},
    {"Korvane", "KV", {"KV-IPC2145W", "KV-DOME4110", "KV-BULLET6", "KV-FISH12"}, ""},
    {"Ostrel", "OS", {"OS-C200", "OS-C210-IR", "OS-D400", "OS-T12"}, ""},
    {"Vistacam", "VC", {"VC-1080P", "VC-4K-PRO", "VC-MINI", "VC-ZOOM30"}, ":"},
    {"Lumora", "LM", {"LM-EYE2", "LM-EYE4", "LM-NIGHT", "LM-WIDE"}, ":"},
    // Non-ASCII model names (UTF-8), as some makers ship them.
    {"Nordøye", "ND", {"Kamera-Ünï4", "Камера-2М", "カメラ-X1", "Cámara-Ñ8"}, ":"},
};
const size_t kMakerCount = sizeof(kMakers) / sizeof(kMakers[0]);

const char* const kLocations[] = {"gate", "hall", "yard", "office", "parking", "stairs"};

std::string Hex(uint64_t value, int digits, bool upper) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, upper ? "%0*llX" : "%0*llx", digits,
                  static_cast<unsigned long long>(value));
    std::string text(buffer);
    return text.substr(text.size() - static_cast<size_t>(digits));
}

bool ParseUnsigned(const std::string& text, uint32_t& value) {
    if (text.empty() || text.size() > 10) {
        return false;
    }
    char* end = nullptr;
    unsigned long parsed = std::strtoul(text.c_str(), &end, 10);
    if (*end != '\0' || parsed > 0xFFFFFFFFUL || text[0] == '-') {
        return false;
    }
    value = static_cast<uint32_t>(parsed);
    return true;
}

bool ParseBool(const std::string& text, bool& value) {
    if (text == "1" || text == "yes" || text == "true" || text.empty()) {
        value = true;
        return true;
    }
    if (text == "0" || text == "no" || text == "false") {
        value = false;
        return true;
    }
    return false;
}

bool ApplyBehaviourField(const std::string& key, const std::string& value, Behaviour& b,
                         bool& known, std::string& error) {
    known = true;
    bool ok = true;
    uint32_t number = 0;
    if (key == "delay") {
        ok = ParseUnsigned(value, b.delayMs);
    } else if (key == "delay-max") {
        ok = ParseUnsigned(value, b.delayMaxMs);
    } else if (key == "dup") {
        ok = ParseUnsigned(value, number) && number >= 1 && number <= 100;
        b.copies = number;
    } else if (key == "matches") {
        ok = ParseUnsigned(value, number) && number >= 1 && number <= 50;
        b.matches = number;
    } else if (key == "wsa5") {
        ok = ParseBool(value, b.wsa5);
    } else if (key == "no-xaddrs") {
        ok = ParseBool(value, b.noXAddrs);
    } else if (key == "no-scopes") {
        ok = ParseBool(value, b.noScopes);
    } else if (key == "silent") {
        ok = ParseBool(value, b.silent);
    } else if (key == "strict") {
        ok = ParseBool(value, b.strict);
    } else if (key == "drop") {
        ok = ParseUnsigned(value, b.drop);
    } else if (key == "result") {
        ok = ParseUnsigned(value, number) && number <= 0x7FFFFFFF;
        b.result = static_cast<int>(number);
    } else if (key == "hostile") {
        ok = false;
        for (const char* const* kind = HostileKinds; *kind; ++kind) {
            ok = ok || value == *kind;
        }
        b.hostile = value;
    } else {
        known = false;
        return true;
    }
    if (!ok) {
        error = "bad value for " + key + ": '" + value + "'";
    }
    return ok;
}

}  // namespace

bool ParseBehaviour(const std::string& list, Behaviour& behaviour, std::string& error) {
    std::stringstream items(list);
    std::string item;
    while (std::getline(items, item, ',')) {
        if (item.empty()) {
            continue;
        }
        size_t equal = item.find('=');
        std::string key = item.substr(0, equal);
        std::string value = equal == std::string::npos ? "" : item.substr(equal + 1);
        bool known = false;
        if (!ApplyBehaviourField(key, value, behaviour, known, error)) {
            return false;
        }
        if (!known) {
            error = "unknown behaviour '" + key + "'";
            return false;
        }
    }
    return true;
}

// Applies one key=value of a device or behaviour (as in description files).
static bool ApplyDeviceField(const std::string& key, const std::string& value, Device& device,
                             std::string& error) {
    bool known = false;
    if (!ApplyBehaviourField(key, value, device.behaviour, known, error)) {
        return false;
    }
    if (known) {
        return true;
    }
    if (key == "ip") {
        if (!ParseIp(value, device.ip)) {
            error = "bad address '" + value + "'";
            return false;
        }
    } else if (key == "prefix") {
        if (!ParseUnsigned(value, device.prefix) || device.prefix < 1 || device.prefix > 32) {
            error = "bad prefix '" + value + "'";
            return false;
        }
    } else if (key == "model") {
        device.model = value;
    } else if (key == "name") {
        device.name = value;
    } else if (key == "serial") {
        device.serial = value;
    } else if (key == "mac") {
        device.mac = value;
    } else if (key == "version") {
        device.version = value;
    } else if (key == "location") {
        device.location = value;
    } else if (key == "password") {
        device.password = value;
    } else if (key == "code") {
        device.serialCode = value;
    } else {
        error = "unknown field '" + key + "'";
        return false;
    }
    return true;
}

// The address after ip that is a usable host address (last field neither 0 nor 255).
static uint32_t NextHostAddr(uint32_t ip) {
    do {
        ++ip;
    } while ((ip & 0xFF) == 0 || (ip & 0xFF) == 255);
    return ip;
}

std::string IpText(uint32_t ip) {
    char buffer[INET_ADDRSTRLEN];
    uint32_t net = htonl(ip);
    inet_ntop(AF_INET, &net, buffer, sizeof buffer);
    return buffer;
}

bool ParseIp(const std::string& text, uint32_t& ip) {
    in_addr addr{};
    if (inet_pton(AF_INET, text.c_str(), &addr) != 1) {
        return false;
    }
    ip = ntohl(addr.s_addr);
    return true;
}

std::string ScramblePassword(const std::string& password) {
    if (password.empty()) {
        return "vacantcipher";
    }
    std::string out;
    unsigned char key = 0xB6;
    for (unsigned char byte : password) {
        unsigned char c = byte ^ key;
        out += static_cast<char>(33 + 5 * (c >> 4));
        out += static_cast<char>(33 + 5 * (c & 15));
        key = static_cast<unsigned char>(~key);
    }
    return out;
}

// One generated identity for index i (description files use it for missing fields).
static Device GenerateDevice(const FleetOptions& options, uint32_t index, uint32_t ip) {
    uint64_t r = Mix(options.seed * 0x100000001B3ULL + index);
    const Makers& maker = kMakers[r % kMakerCount];
    Device d;
    d.ip = ip;
    d.prefix = options.prefix;
    uint64_t u1 = Mix(r + 1);
    uint64_t u2 = Mix(r + 2);
    d.uuid = "urn:uuid:" + Hex(u1 >> 32, 8, false) + "-" + Hex((u1 >> 16) & 0xFFFF, 4, false) +
             "-4" + Hex(u1 & 0xFFF, 3, false) + "-" +
             Hex(0x8000 | ((u2 >> 48) & 0x3FFF), 4, false) + "-" +
             Hex(u2 & 0xFFFFFFFFFFFFULL, 12, false);
    d.model = maker.models[(r >> 8) % 4];
    d.name = std::string(maker.brand) + "_" + d.model;
    // The index is part of serial and MAC so that no two devices of one fleet share them.
    d.serial = std::string(maker.prefix) + Hex((r >> 16) & 0xFFFF, 4, true) + Hex(index, 6, true);
    uint64_t macLow = ((options.seed & 0xFF) << 16) | (index & 0xFFFF) | ((index >> 16) << 20);
    const char* sep = maker.macSeparator;
    d.mac = "00" + std::string(sep) + "1b" + sep + Hex((r >> 32) & 0xFF, 2, false) + sep +
            Hex((macLow >> 16) & 0xFF, 2, false) + sep + Hex((macLow >> 8) & 0xFF, 2, false) + sep +
            Hex(macLow & 0xFF, 2, false);
    d.version = "V" + std::to_string(4 + (r >> 40) % 3) + "." + std::to_string((r >> 44) % 10) +
                "." + std::to_string((r >> 48) % 20) + ".build" +
                std::to_string(230101 + (r >> 52) % 900);
    d.location = kLocations[(r >> 12) % 6];
    d.password = "pw" + Hex(Mix(r + 3), 8, false);
    d.serialCode = Hex(Mix(r + 4), 12, true);
    return d;
}

std::vector<Device> GenerateFleet(const FleetOptions& options) {
    std::vector<Device> fleet;
    fleet.reserve(options.count);
    uint32_t ip = options.base;
    if ((ip & 0xFF) == 0 || (ip & 0xFF) == 255) {
        ip = NextHostAddr(ip);
    }
    for (uint32_t i = 0; i < options.count; ++i) {
        fleet.push_back(GenerateDevice(options, i, ip));
        ip = NextHostAddr(ip);
    }
    return fleet;
}

bool ReadFleetFile(const std::string& path, const FleetOptions& options, std::vector<Device>& fleet,
                   std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::string line;
    uint32_t ip = options.base;
    uint32_t lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        line = line.substr(0, line.find('#'));
        std::stringstream fields(line);
        std::string field;
        Device device;
        bool any = false;
        while (fields >> field) {
            if (!any) {
                device = GenerateDevice(options, static_cast<uint32_t>(fleet.size()), ip);
                any = true;
            }
            // A bare key is a switch: "silent" is "silent=1".
            size_t equal = field.find('=');
            std::string value = equal == std::string::npos ? "" : field.substr(equal + 1);
            if (!ApplyDeviceField(field.substr(0, equal), value, device, error)) {
                error = path + ":" + std::to_string(lineNo) + ": " + error;
                return false;
            }
        }
        if (any) {
            fleet.push_back(device);
            ip = NextHostAddr(device.ip);
        }
    }
    return true;
}

std::string ScopesOf(const Device& d) {
    const std::string onvif = "onvif://www.onvif.org/";
    return onvif + "type/video_encoder " + onvif + "type/Network_Video_Transmitter " + onvif +
           "Profile/Streaming " + onvif + "location/" + d.location + " " + onvif + "hardware/" +
           d.model + " " + onvif + "name/" + d.name + " " + onvif + "macaddr/" + d.mac + " " +
           onvif + "version/" + d.version + " " + onvif + "serial/" + d.serial;
}

namespace {

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) {
        return text;
    }
    std::string out = "\"";
    for (char c : text) {
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return out + "\"";
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace

void PrintFleetCsv(const std::vector<Device>& fleet, std::ostream& out) {
    out << "ip,model,name,serial,mac,version,password,code,uuid,xaddrs\n";
    for (const Device& d : fleet) {
        out << IpText(d.ip) << ',' << CsvField(d.model) << ',' << CsvField(d.name) << ','
            << CsvField(d.serial) << ',' << CsvField(d.mac) << ',' << CsvField(d.version) << ','
            << CsvField(d.password) << ',' << CsvField(d.serialCode) << ',' << d.uuid << ','
            << "http://" << IpText(d.ip) << "/onvif/device_service\n";
    }
}

void PrintFleetJson(const std::vector<Device>& fleet, std::ostream& out) {
    out << "[\n";
    for (size_t i = 0; i < fleet.size(); ++i) {
        const Device& d = fleet[i];
        out << "  {\"ip\": " << JsonString(IpText(d.ip)) << ", \"model\": " << JsonString(d.model)
            << ", \"name\": " << JsonString(d.name) << ", \"serial\": " << JsonString(d.serial)
            << ", \"mac\": " << JsonString(d.mac) << ", \"version\": " << JsonString(d.version)
            << ", \"password\": " << JsonString(d.password)
            << ", \"code\": " << JsonString(d.serialCode) << ", \"uuid\": " << JsonString(d.uuid)
            << ", \"xaddrs\": " << JsonString("http://" + IpText(d.ip) + "/onvif/device_service")
            << ", \"scopes\": " << JsonString(d.behaviour.noScopes ? "" : ScopesOf(d))
            << ", \"silent\": "
            << (d.behaviour.silent || !d.behaviour.hostile.empty() ? "true" : "false")
            << ", \"strict\": " << (d.behaviour.strict ? "true" : "false")
            << ", \"drop\": " << d.behaviour.drop << "}" << (i + 1 < fleet.size() ? "," : "")
            << "\n";
    }
    out << "]\n";
}
