#include "camsim_options.h"

#include <cerrno>
#include <cstdlib>
#include <iostream>

namespace {

const char kUsage[] = R"USAGE(usage: camsim [options]

Plays one or many ONVIF network video transmitters (simulated cameras) on one network
interface. Every device has its own IPv4 address on the interface. One UDP socket on port 3702
serves them all: it answers tns:Probe (multicast 239.255.255.250 or unicast) with
tns:ProbeMatches, tns:KorvaneProbe (broadcast) with tns:KorvaneProbeMatches, and the
configuration requests tns:SetDeviceAddrReq, tns:SetDefaultPasswdReq and tns:SetDefaultCfgReq
addressed to one device (its serial number in DeviceSerialNo and MAC text in DeviceId) with the
matching response. Answers go to the source address and port of the request, from the device's
own address, with RelatesTo = the request's MessageID.

A device answers a probe when every type in its Types is one the device has, compared by
namespace and local name (each prefix resolved against the probe's namespace declarations):
dn:NetworkVideoTransmitter (http://www.onvif.org/ver10/network/wsdl) and tds:Device
(http://www.onvif.org/ver10/device/wsdl); an empty or absent Types matches. Every scope in its
Scopes must be a prefix, at a '/' boundary, of one of the device's scopes.

Sends discovery traffic: run it only inside a network namespace made for testing
(see scripts/vlan), never in the machine's own namespace.

Fleet:
  --count N          number of generated devices (default 10)
  --base IP          address of the first device (default 198.18.0.10); the next devices take
                     the following addresses, skipping any whose last field is 0 or 255
  --prefix LEN       prefix length of the device addresses (default 16)
  --seed N           seed of the generated identities (default 1); the same seed, count and
                     base always give the same fleet
  --file PATH        read the devices from a description file instead: one device per line,
                     blank-separated key=value fields: ip model name serial mac version
                     location password code prefix, and any behaviour key below (a bare
                     switch such as silent means silent=1); missing
                     fields are generated; '#' starts a comment
  --list [csv|json]  print the fleet (ip, model, name, serial, mac, version, password, code,
                     uuid, xaddrs; json also scopes, whether the device stays silent, and its
                     strict and drop behaviours) and exit without touching the network
                     (default csv)

Network:
  --iface NAME       interface to serve (default: the only interface besides lo)
  --port N           UDP port (default 3702)
  --no-addr          do not add or remove addresses; they must already be on the interface

Behaviours (KEYS is a comma-separated list of key[=value]):
  --behave KEYS      for every device
  --device SEL:KEYS  for some devices; SEL is an index (0 = first device), a range 3-7, or
                     'all'; may be given many times, later ones win
  keys:
    delay=MS         wait MS milliseconds before each answer
    delay-max=MS     wait a further random 0..MS milliseconds (as ONVIF devices do)
    dup=N            send every answer N times (default 1)
    matches=N        put N probe matches in each answer: the device, then N-1 channels with
                     serial "<serial>-CH<k>"
    wsa5             answer with wsa5:RelatesTo instead of wsa:RelatesTo
    no-xaddrs        probe matches without XAddrs
    no-scopes        probe matches without Scopes
    silent           never answer anything
    strict           follow WS-Discovery to the letter: ignore any message without
                     wsa:Action (or wsa5:Action), or whose action is not that of its body
                     (e.g. http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe for
                     tns:Probe; the vendor messages have actions of the same form)
    drop=N           a lossy link: lose the first N datagrams that reach the device, before
                     reading them; counted per device (a multicast or broadcast datagram
                     counts once for every device it reaches)
    result=CODE      answer every configuration request with this tns:result
    hostile=KIND     answer probes with a hostile datagram instead of the match:
                     truncated (the match cut in half), oversized (60 KB of model and name),
                     wrong-relates (RelatesTo another id), hello, bye (announcements),
                     garbage (binary bytes), fault (a SOAP fault)

Configuration answers (tns:result): 256 done; 261 wrong user name (not "admin") or wrong
AuthCode (the scrambled administrator password); 258 missing or invalid address, mask or
gateway; 262 the new address is in use on the segment (another device, a local address, or
the requester); 260 wrong serial code. A successful SetDeviceAddrReq moves the device: the new
address is added to the interface at once, the old one removed once the answer has left.
A successful SetDefaultPasswdReq sets the password to "admin".

Output: the line "camsim ready: N devices on IFACE port P (start T ms)" on stdout once
serving. SIGUSR1 prints a statistics line "camsim stats: received=... probes=...
korvane_probes=... config=... ignored=... answers=... matches=... datagrams=... send_errors=...
moves=... dropped=..." on stdout (dropped: datagrams lost by drop=N, per device); SIGTERM or
SIGINT prints it and ends (removing the addresses it added). Exit status 0 after a signal,
1 on a start failure, 2 on a usage error.
)USAGE";

}  // namespace

bool ParseNumber(const char* text, uint64_t max, uint64_t& value) {
    char* end = nullptr;
    errno = 0;
    unsigned long long parsed = std::strtoull(text, &end, 10);
    if (errno || end == text || *end || parsed > max || text[0] == '-') {
        return false;
    }
    value = parsed;
    return true;
}

int UsageError(const std::string& message) {
    std::cerr << "camsim: " << message << "\n(see camsim --help)\n";
    return 2;
}

int ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char*& out) {
            if (i + 1 >= argc) {
                return false;
            }
            out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        uint64_t n = 0;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--list") {
            o.list = "csv";
            if (i + 1 < argc && argv[i + 1][0] != '-') {
                o.list = argv[++i];
            }
            if (o.list != "csv" && o.list != "json") {
                return UsageError("--list takes csv or json");
            }
        } else if (arg == "--no-addr") {
            o.manageAddresses = false;
        } else if (!value(v)) {
            return UsageError(arg.rfind("--", 0) == 0 ? "missing value or unknown option " + arg
                                                      : "unexpected argument " + arg);
        } else if (arg == "--count") {
            if (!ParseNumber(v, 1000000, n)) {
                return UsageError("bad --count");
            }
            o.fleet.count = static_cast<uint32_t>(n);
        } else if (arg == "--base") {
            if (!ParseIp(v, o.fleet.base)) {
                return UsageError("bad --base");
            }
        } else if (arg == "--prefix") {
            if (!ParseNumber(v, 32, n) || n == 0) {
                return UsageError("bad --prefix");
            }
            o.fleet.prefix = static_cast<uint32_t>(n);
        } else if (arg == "--seed") {
            if (!ParseNumber(v, UINT64_MAX, n)) {
                return UsageError("bad --seed");
            }
            o.fleet.seed = n;
        } else if (arg == "--file") {
            o.file = v;
        } else if (arg == "--iface") {
            o.iface = v;
        } else if (arg == "--port") {
            if (!ParseNumber(v, 65535, n) || n == 0) {
                return UsageError("bad --port");
            }
            o.port = static_cast<uint16_t>(n);
        } else if (arg == "--behave") {
            o.fleetBehaviour = v;
        } else if (arg == "--device") {
            o.deviceBehaviours.push_back(v);
        } else {
            return UsageError("unknown option " + arg);
        }
    }
    return -1;
}

namespace {

// The behaviour of --behave for every device, then those of --device in order.
bool ApplyBehaviours(const Options& o, std::vector<Device>& fleet, std::string& error) {
    for (Device& d : fleet) {
        if (!ParseBehaviour(o.fleetBehaviour, d.behaviour, error)) {
            return false;
        }
    }
    for (const std::string& item : o.deviceBehaviours) {
        size_t colon = item.find(':');
        if (colon == std::string::npos) {
            error = "--device takes SEL:KEYS";
            return false;
        }
        std::string sel = item.substr(0, colon);
        uint64_t first = 0;
        uint64_t last = fleet.empty() ? 0 : fleet.size() - 1;
        size_t dash = sel.find('-');
        bool ok = sel == "all" ||
                  (dash == std::string::npos
                       ? ParseNumber(sel.c_str(), UINT32_MAX, first) && (last = first, true)
                       : ParseNumber(sel.substr(0, dash).c_str(), UINT32_MAX, first) &&
                             ParseNumber(sel.substr(dash + 1).c_str(), UINT32_MAX, last));
        if (!ok || first > last || last >= fleet.size()) {
            error = "bad device selection '" + sel + "'";
            return false;
        }
        for (uint64_t i = first; i <= last; ++i) {
            if (!ParseBehaviour(item.substr(colon + 1), fleet[i].behaviour, error)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

bool BuildFleet(const Options& o, std::vector<Device>& fleet, std::string& error) {
    if (o.file.empty()) {
        fleet = GenerateFleet(o.fleet);
    } else if (!ReadFleetFile(o.file, o.fleet, fleet, error)) {
        return false;
    }
    return ApplyBehaviours(o, fleet, error);
}
