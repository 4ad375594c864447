#!/usr/bin/env bash
# The package on a fresh Debian machine: a minimal system of this machine's Debian release
# (debootstrap) in a temporary folder, the package installed there with apt-get and without
# recommended packages, and both programs started in it. Needs root and the Debian archive.
#   test_fresh_install.sh FILE
set -uo pipefail
deb=$1
if [ "$(id -u)" -ne 0 ]; then
  echo "test_fresh_install: needs root (debootstrap, chroot); skipping"
  exit 77
fi
release=$(. /etc/os-release && echo "$VERSION_CODENAME")
fresh=$(mktemp -d)
trap 'rm -rf --one-file-system "$fresh"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

echo "debootstrap $release (minbase)"
debootstrap --variant=minbase "$release" "$fresh" >"$fresh.log" 2>&1 ||
  { tail -20 "$fresh.log"; rm -f "$fresh.log"; echo "FAIL: debootstrap"; exit 1; }
rm -f "$fresh.log"
cp /etc/resolv.conf "$fresh/etc/resolv.conf"
cp "$deb" "$fresh/tmp/"
name=$(basename "$deb")
inside() { chroot "$fresh" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root TMPDIR=/tmp "$@"; }
# The programs run without a network of their own: nothing they do here may reach one.
run() { unshare --net chroot "$fresh" env -i PATH=/usr/bin:/bin HOME=/root TMPDIR=/tmp "$@"; }

echo "apt-get install ./$name"
if ! inside sh -c "apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends /tmp/$name" >"$fresh/tmp/install.log" 2>&1; then
  tail -20 "$fresh/tmp/install.log"
  echo "FAIL: apt-get install"
  exit 1
fi

# Every library of both programs and of the X11 platform plugin, which Qt loads at run time.
xcb=$(inside find /usr/lib -name libqxcb.so)
[ -n "$xcb" ] || fail "no X11 platform plugin of Qt"
for binary in /usr/bin/scoutcam /usr/bin/scoutcam-cli $xcb; do
  missing=$(inside ldd "$binary" | grep "not found")
  [ -z "$missing" ] || fail "$binary: libraries not found: $missing"
done
version=$(dpkg-deb -f "$deb" Version)
[ "$(run scoutcam --version)" = "scoutcam $version" ] || fail "scoutcam --version"
[ "$(run scoutcam-cli --version)" = "scoutcam-cli $version" ] || fail "scoutcam-cli --version"
grep -q "^Usage: scoutcam-cli " <<<"$(run scoutcam-cli --help)" || fail "scoutcam-cli --help"
# Past its own options the program builds its Qt application: the platform plugin loads.
grep -q "unknown argument" <<<"$(run QT_QPA_PLATFORM=offscreen scoutcam --bogus 2>&1)" ||
  fail "scoutcam cannot start Qt"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "$name installs on a fresh Debian $release and both programs run there"
