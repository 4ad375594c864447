#!/usr/bin/env bash
# Cost of a large simulated fleet: for each count, start camsim with that many devices inside a
# virtual LAN and print its start time (process start to "ready", addresses included), its
# memory (VmRSS after start, VmHWM after answering), and one multicast probe's answers (how
# many of the expected arrived, and when the last came). Root only.
# usage: tools/camsim/fleet_cost.sh [CAMSIM] [COUNT...]   (default counts: 1000 5000)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
camsim=${1:-${CAMSIM:-$here/build/tools/camsim/camsim}}
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000 5000)

probe=$(mktemp)
trap 'rm -f "$probe" "$probe.err"' EXIT
cat >"$probe" <<'PY'
import os, socket, sys, time, uuid
count = int(sys.argv[1])
pid = os.environ["VLAN_CAMSIM_A_PID"]
def status(field):
    with open(f"/proc/{pid}/status") as f:
        return next(l.split()[1] for l in f if l.startswith(field + ":"))
ready = open(os.environ["VLAN_CAMSIM_A_LOG"]).readline().strip()
rss_ready = int(status("VmRSS"))
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, 33, 64 << 20)  # SO_RCVBUFFORCE
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton("198.18.0.1"))
s.bind(("198.18.0.1", 0))
mid = f"urn:uuid:{uuid.uuid4()}"
probe = ('<?xml version="1.0" encoding="UTF-8"?><s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" '
         'xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery" '
         'xmlns:dn="http://www.onvif.org/ver10/network/wsdl">'
         f'<s:Header><a:MessageID>{mid}</a:MessageID></s:Header><s:Body><d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types>'
         '</d:Probe></s:Body></s:Envelope>').encode()
start = time.monotonic()
s.sendto(probe, ("239.255.255.250", 3702))
got, last, size = set(), 0.0, 0
s.settimeout(3)
try:
    while len(got) < count:
        data, addr = s.recvfrom(65536)
        got.add(addr[0]); last = time.monotonic() - start; size += len(data)
except socket.timeout:
    pass
hwm = int(status("VmHWM"))
print(f"devices={count} {ready.split('(')[1].rstrip(')')} rss_after_start={rss_ready} KiB "
      f"peak_rss_after_probe={hwm} KiB answers={len(got)}/{count} last_answer={last*1000:.0f} ms "
      f"answer_bytes={size}")
PY

for n in "${counts[@]}"; do
  t0=$(date +%s%N)
  if ! out=$("$here/scripts/vlan" run "fc$$" --camsim "$camsim" --timeout 300 --a "--count $n" -- \
                python3 "$probe" "$n" 2>"$probe.err"); then
    cat "$probe.err" >&2
    exit 1
  fi
  t1=$(date +%s%N)
  echo "$out wall_with_network_setup_and_teardown=$(( (t1 - t0) / 1000000 )) ms"
done
