#!/usr/bin/env bash
# Interoperability: the npm package "onvif" (a WS-Discovery client no one here wrote) probes the
# simulated cameras on both segments of a virtual LAN and must find every one.
# usage: onvif_interop.sh CAMSIM NPM_DIR
# Exit 77 (skipped) when not root.
set -euo pipefail
camsim=$1
npm_dir=$2
here=$(cd "$(dirname "$0")" && pwd)
vlan=$here/../../scripts/vlan

if [ "$(id -u)" -ne 0 ]; then
  echo "onvif_interop: needs root for network namespaces; skipping"
  exit 77
fi

# Install the peer into the build tree once; a failed or partial install is retried.
mkdir -p "$npm_dir"
if [ ! -f "$npm_dir/node_modules/onvif/package.json" ]; then
  for attempt in 1 2 3; do
    if (cd "$npm_dir" && npm install --no-audit --no-fund --no-save --loglevel=error onvif@0.8.3); then
      break
    fi
    [ "$attempt" -eq 3 ] && { echo "onvif_interop: npm install onvif failed" >&2; exit 1; }
    sleep 2
  done
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Segment A: a mixed fleet, some non-ASCII models, one silent device; segment B: a second fleet.
args_a="--count 40 --device 5:silent --device 7:delay-max=300"
args_b="--count 12 --behave delay-max=200"
"$camsim" --list json --base 198.18.0.10 --seed 1 $args_a >"$work/a.json"
"$camsim" --list json --base 198.19.0.10 --seed 2 $args_b >"$work/b.json"

CAMSIM=$camsim "$vlan" run "oi$$" --a "$args_a" --b "$args_b" -- \
  node "$here/onvif_interop.js" "$npm_dir" eth0 "$work/a.json" eth1 "$work/b.json"
