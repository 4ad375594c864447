#!/usr/bin/env bash
# scripts/vlan: the network it builds, its exit statuses, idempotence, and that nothing is left
# behind in the machine's own namespace. usage: vlan_test.sh VLAN CAMSIM
set -uo pipefail
vlan=$1
camsim=$2
name="vt$$"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_status() {  # expect_status WANT DESCRIPTION CMD...
  local want=$1 what=$2 got=0
  shift 2
  "$@" >/dev/null 2>&1 || got=$?
  [ "$got" -eq "$want" ] || fail "$what: status $got, expected $want"
}

if [ "$(id -u)" -ne 0 ]; then
  echo "vlan_test: needs root for network namespaces; skipping"
  exit 77
fi

# reach FROM TO IP: a UDP datagram sent from place FROM arrives in place TO at address IP.
reach() {
  local got
  got=$( { "$vlan" exec "$name" "$2" -- python3 -c '
import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("0.0.0.0", 9999))
s.settimeout(3)
print(s.recvfrom(100)[0].decode())' & sleep 0.3
    "$vlan" exec "$name" "$1" -- python3 -c '
import socket, sys
socket.socket(socket.AF_INET, socket.SOCK_DGRAM).sendto(b"hello", (sys.argv[1], 9999))' "$3"
    wait; } 2>/dev/null)
  [ "$got" = hello ]
}

host_state() { ip -o link show | sed 's/ link\/.*//'; ip -o addr show; ip route show table all; }
before=$(host_state)
trap '"$vlan" down "$name" >/dev/null 2>&1' EXIT

# Without root every command is a clean skip.
if command -v setpriv >/dev/null; then
  expect_status 77 "up as an ordinary user" setpriv --reuid=65534 --regid=65534 --clear-groups "$vlan" up "$name"
fi
expect_status 1 "bad name" "$vlan" up "no/slash"
expect_status 0 "help" "$vlan" --help

expect_status 0 "first up" "$vlan" up "$name"
expect_status 0 "second up (idempotent)" "$vlan" up "$name"
mapfile -t names < <("$vlan" names "$name")
for ns in "${names[@]}"; do
  [ -e "/run/netns/$ns" ] || fail "namespace $ns missing"
done
[ "$(ip netns list | awk '{print $1}' | grep -c "^scv-$name-")" -eq 4 ] || fail "not exactly four namespaces"

"$vlan" exec "$name" cli -- ip -o -4 addr show dev eth0 | grep >/dev/null "198.18.0.1/16" || fail "cli eth0 address"
"$vlan" exec "$name" cli -- ip -o -4 addr show dev eth1 | grep >/dev/null "198.19.0.1/16" || fail "cli eth1 address"
"$vlan" exec "$name" cli -- ip -o link show lo | grep >/dev/null "UP" || fail "loopback down in cli"
reach cli dev-a 198.18.0.2 || fail "segment A not reachable"
reach cli dev-b 198.19.0.2 || fail "segment B not reachable"
reach dev-a dev-b 255.255.255.255 && fail "a broadcast crossed from segment A to B"
"$vlan" exec "$name" sw -- ip -d link show bra | grep >/dev/null "mcast_snooping 0" || fail "snooping on in bra"
expect_status 7 "exec status" "$vlan" exec "$name" dev-b -- sh -c 'exit 7'
expect_status 0 "down" "$vlan" down "$name"
expect_status 0 "down again" "$vlan" down "$name"
[ "$(ip netns list | grep -c "^scv-$name-")" -eq 0 ] || fail "namespaces left after down"

# run: the command's status, its environment, and a full clean-up also after failures.
expect_status 5 "run status" "$vlan" run "$name" -- sh -c 'exit 5'
expect_status 0 "run environment" env CAMSIM="$camsim" "$vlan" run "$name" --a "--count 3" -- \
  sh -c '[ "$VLAN_CLI_A" = 198.18.0.1 ] && [ -n "$VLAN_CAMSIM_A_PID" ] && grep -q "^camsim ready: 3 devices" "$VLAN_CAMSIM_A_LOG" && ip -o addr show dev eth0 | grep >/dev/null 198.18.0.1/16'
expect_status 1 "camsim that cannot start" "$vlan" run "$name" --camsim "$camsim" --a "--port 0" -- true
[ "$(ip netns list | grep -c "^scv-$name-")" -eq 0 ] || fail "namespaces left after run"

# start: a network left running with its camsims until down.
expect_status 0 "start" "$vlan" start "$name" --camsim "$camsim" --a "--count 2"
"$vlan" exec "$name" dev-a -- ip -o addr show dev eth0 | grep >/dev/null "198.18.0.11/16" || fail "start: no device address"
pids=$(ip netns pids "scv-$name-a")
[ -n "$pids" ] || fail "start: no camsim running"
expect_status 0 "down after start" "$vlan" down "$name"
for pid in $pids; do
  # An ended process may stay a zombie until the machine's init reaps it.
  state=$(ps -o stat= -p "$pid" || true)
  [ -n "$state" ] && [ "${state#Z}" = "$state" ] && fail "process $pid survived down"
done

after=$(host_state)
[ "$before" = "$after" ] || { fail "the machine's own namespace changed"; diff <(echo "$before") <(echo "$after"); }
[ "$failures" -eq 0 ] && echo "vlan_test: all checks passed"
exit $((failures > 0))
