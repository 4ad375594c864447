#!/usr/bin/env bash
# One Auto Search against N simulated cameras in the virtual LAN (N/2 on each segment, all
# answering at once), by the Linux scoutcam-cli and by scoutcam-cli.exe under Wine, in turn
# in the same network: how many of N each lists, per run. Root only.
#   bench/windows/burst_wine.sh WINDOWS_BUILD LINUX_BUILD [N] [RUNS]
# N defaults to 1000, RUNS to 3.
set -euo pipefail
cd "$(dirname "$0")/../.."
win=$(realpath "$1")
linux=$(realpath "$2")
count=${3:-1000}
runs=${4:-3}

if [ -z "${VLAN_NAME:-}" ]; then
  half=$((count / 2))
  exec scripts/vlan run "b$$" --camsim "$linux/tools/camsim/camsim" --a "--count $half" \
    --b "--count $((count - half))" -- "$0" "$@"
fi

# In the client namespace, with a Wine prefix whose server runs here (see
# tests/windows/test_cli_wine_lan.sh).
work=$(mktemp -d)
prefix=$work/wine
end() {
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap end EXIT
if [ -f "$win/wine/.ready" ]; then
  cp -a "$win/wine" "$prefix"
fi
SCOUTCAM_WINE_TIMEOUT=120 cmake/wine-run "$prefix" "$win/cli/scoutcam-cli.exe" --version >/dev/null

listed() {
  grep -c '"ipAddress"' || true
}
echo "cameras=$count window=3000ms"
for run in $(seq "$runs"); do
  onLinux=$("$linux/cli/scoutcam-cli" search --json | listed)
  underWine=$(SCOUTCAM_WINE_TIMEOUT=120 cmake/wine-run "$prefix" "$win/cli/scoutcam-cli.exe" \
    search --json | listed)
  echo "run $run: linux listed=$onLinux lost=$((count - onLinux))" \
    "wine listed=$underWine lost=$((count - underWine))"
done
