#!/usr/bin/env bash
# scoutcam-cli.exe under Wine in the virtual LAN (scripts/vlan): search --json finds the
# devices of both segments, each with the interface and local address its answer came in on,
# and set-address changes a device's address end to end.
#   tests/windows/test_cli_wine_lan.sh WINDOWS_BUILD CAMSIM
# WINDOWS_BUILD holds cli/scoutcam-cli.exe; CAMSIM is the Linux camsim. Exit status 77
# (skipped, with the reason) without root or without camsim.
#
# What Wine cannot show: Wine drops IN_PKTINFO when it sends, so a limited broadcast leaves by
# the routing table (segment A here), not through each interface as on Windows. Multicast
# follows IP_MULTICAST_IF, which the client sets too, so the search reaches both segments;
# configuration by broadcast is checked on segment A only, by unicast on both.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "$1")
camsim=$(realpath -m "$2")
exe=$build/cli/scoutcam-cli.exe
source tests/windows/lan_common.sh
enter_lan "$camsim" "$0" "$@"

# In the client namespace.
wine_prefix "$build"
cli() {
  SCOUTCAM_WINE_TIMEOUT=120 cmake/wine-run "$prefix" "$exe" "$@" | tr -d '\r'
}

found=$(cli search --json --window 1500)
for ip in 198.18.0.10 198.18.0.11 198.18.0.12; do
  check "search finds $ip on eth0" "$found" \
    "\"ipAddress\": \"$ip\".*\"interface\": \"eth0\", \"localAddress\": \"198.18.0.1\""
done
for ip in 198.19.0.10 198.19.0.11; do
  check "search finds $ip on eth1" "$found" \
    "\"ipAddress\": \"$ip\".*\"interface\": \"eth1\", \"localAddress\": \"198.19.0.1\""
done
count=$(grep -c '"ipAddress"' <<<"$found" || true)
check "search lists 5 devices" "$count" "^5$"

fleet=$("$camsim" --list json --base 198.18.0.10 --seed 1 --count 3)
password=$(grep -o '"password": "[^"]*"' <<<"$fleet" | sed -n 2p | cut -d'"' -f4)
changed=$(printf '%s\n' "$password" |
  cli set-address --window 500 --device 198.18.0.11 --ip 198.18.0.60 --mask 255.255.0.0)
check "set-address succeeds" "$changed" "^Succeed$"
moved=$(cli search --csv --window 500 --address 198.18.0.60)
check "the device answers at its new address" "$moved" "^198.18.0.60,"

serial=$(grep -o '"serial": "[^"]*"' <<<"$fleet" | sed -n 3p | cut -d'"' -f4)
mac=$(grep -o '"mac": "[^"]*"' <<<"$fleet" | sed -n 3p | cut -d'"' -f4)
code=$(grep -o '"code": "[^"]*"' <<<"$fleet" | sed -n 3p | cut -d'"' -f4)
restored=$(printf '%s' "$code" | cli restore-password --serial "$serial" --mac "$mac")
check "restore-password by broadcast succeeds" "$restored" "^Succeed$"

[ "$failures" = 0 ]
