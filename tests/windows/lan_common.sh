# Sourced by the virtual-LAN tests of the Windows programs.

# Outside the virtual LAN: skips (77, with the reason) without root or camsim, else runs the
# calling test again inside a new one, 3 cameras on segment A and 2 on B. Inside: returns.
#   enter_lan CAMSIM TEST [ARG...]
enter_lan() {
  local camsim=$1
  shift
  if [ -n "${VLAN_NAME:-}" ]; then
    return 0
  fi
  if [ "$(id -u)" != 0 ]; then
    echo "skipped: the virtual LAN needs root"
    exit 77
  fi
  if [ ! -x "$camsim" ]; then
    echo "skipped: no camsim at $camsim (build the Linux tree first)"
    exit 77
  fi
  exec scripts/vlan run "w$$" --camsim "$camsim" --a "--count 3" --b "--count 2" -- "$@"
}

# Wine's sockets are made by wineserver, so each run has a prefix of its own whose server
# starts here, in this namespace: a copy of the build's prefix (to skip Wine's first start),
# removed with its server when the test ends.
#   wine_prefix BUILD      sets $prefix and $work (a scratch folder)
wine_prefix() {
  work=$(mktemp -d)
  prefix=$work/wine
  trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
  if [ -f "$1/wine/.ready" ]; then
    cp -a "$1/wine" "$prefix"
  fi
}

# check WHAT TEXT PATTERN: one line for the check; a failure is counted in $failures.
failures=0
check() {
  if grep -q -- "$3" <<<"$2"; then
    echo "ok: $1"
  else
    echo "FAILED: $1: no '$3' in:"
    echo "$2"
    failures=$((failures + 1))
  fi
}
