#!/usr/bin/env bash
# scoutcam.exe under Wine and a virtual display in the virtual LAN (scripts/vlan), driven by X
# key and mouse events as a user drives it: Auto Search lists the devices of both segments,
# an Exact Search lists one, and Edit Network Address moves that device to a new address.
#   tests/windows/test_win_wine_lan.sh WINDOWS_BUILD CAMSIM
# Needs DISPLAY (scripts/windows starts Xvfb) and xdotool. Exit status 77 (skipped, with the
# reason) without root, camsim, a display or xdotool.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "$1")
camsim=$(realpath -m "$2")
exe=$build/win/scoutcam.exe
peek=$build/tests/windows/win_peek.exe

source tests/windows/lan_common.sh
if [ -z "${DISPLAY:-}" ] || ! command -v xdotool >/dev/null; then
  echo "skipped: the window needs a display (DISPLAY) and xdotool"
  exit 77
fi
enter_lan "$camsim" "$0" "$@"

# In the client namespace.
wine_prefix "$build"
export SCOUTCAM_WINE_TIMEOUT=240
peek() {
  cmake/wine-run "$prefix" "$peek" "$@" 2>/dev/null | tr -d '\r' || true
}
# Waits up to 20 s for a window of that caption; its X window id.
window_of() {
  timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1 || true
}
keys() {
  xdotool key --delay 60 "$@"
}
# Types an address into the focused IP address control, field by field: each field's text is
# selected and replaced (Wine's control, unlike Windows', does not select the text of the
# field a dot moves to), and a dot moves on.
type_address() {
  local field fields
  IFS=. read -r -a fields <<<"$1"
  for field in "${!fields[@]}"; do
    keys End shift+Home Delete
    xdotool type --delay 60 "${fields[$field]}"
    if [ "$field" -lt 3 ]; then
      xdotool type "."
    fi
  done
}
count() {
  peek Scoutcam 1008
}
# The text of the program's next message box (its caption is the program's name), waited
# for up to 15 s.
message() {
  local text=""
  for _ in $(seq 15); do
    text=$(peek "$(basename "$exe" .exe)")
    [ -n "$text" ] && break
    sleep 1
  done
  echo "$text"
}

cmake/wine-run "$prefix" "$exe" >"$work/scoutcam.out" 2>&1 &
main=$(window_of Scoutcam)
check "scoutcam.exe shows its window" "$main" "[0-9]"
xdotool windowfocus --sync "$main"
check "the list starts empty" "$(count)" "^0$"

# Auto Search: Alt+A, the button's mnemonic.
keys alt+a
sleep 5
check "Auto Search lists the 5 devices of both segments" "$(count)" "^5$"

# Exact Search of one address: Alt+E, then the range in the Network Segment dialog.
fleet=$("$camsim" --list json --base 198.18.0.10 --seed 1 --count 3)
password=$(grep -o '"password": "[^"]*"' <<<"$fleet" | sed -n 2p | cut -d'"' -f4)
keys alt+e
segment=$(window_of "Network Segment")
check "Exact Search opens Network Segment" "$segment" "[0-9]"
type_address 198.18.0.11
keys Tab
type_address 198.18.0.11
keys Return
sleep 5
check "Exact Search lists the one device" "$(count)" "^1$"

# A right-click on the row (the first row's address, just below the list's header), Edit
# Network Address, the menu's first item, a new address, the password.
read -r left top _ _ <<<"$(peek Scoutcam 1000 rect)"
xdotool mousemove $((left + 40)) $((top + 30)) click 3
sleep 1
xdotool mousemove_relative 30 8 click 1
edit=$(window_of "Edit Network Address")
check "the device menu opens Edit Network Address" "$edit" "[0-9]"
type_address 198.18.0.61
keys Tab Tab Tab
xdotool type --delay 60 "$password"
keys Return
result=$(message)
check "the address change succeeds" "$result" "^Succeed$"
keys Return
sleep 1

# The device answers at its new address.
keys alt+e
window_of "Network Segment" >/dev/null
type_address 198.18.0.61
keys Tab
type_address 198.18.0.61
keys Return
sleep 5
check "the device answers at its new address" "$(count)" "^1$"

keys alt+q
sleep 2
[ "$failures" = 0 ]
