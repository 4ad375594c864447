#!/usr/bin/env bash
# Scoutcam as installed: the files in place, both programs started from the installed tree
# with the system's libraries only, their manual pages, the desktop entry and the AppStream
# metadata validated.
#   test_installed.sh --build DIR   installs the build folder DIR into a temporary root
#   test_installed.sh --deb FILE    unpacks the package FILE into a temporary root, checks its
#                                   fields and runs lintian (no errors allowed)
# Nothing here opens a window or sends a packet: the programs only answer --help and
# --version, or end before their discovery client starts.
set -uo pipefail
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
case "${1:-}" in
  --build)
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$2/CMakeCache.txt")
    DESTDIR="$root" cmake --install "$2" --prefix /usr >/dev/null || { echo "FAIL: install"; exit 1; }
    ;;
  --deb)
    deb=$2
    version=$(dpkg-deb -f "$deb" Version)
    arch=$(dpkg --print-architecture)
    [ "$(basename "$deb")" = "scoutcam_${version}_${arch}.deb" ] || fail "file name $(basename "$deb")"
    for field in Package Version Architecture Maintainer Section Priority Homepage Depends Description; do
      [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "control field $field is empty"
    done
    for lib in libqt6widgets6 libgsoap libuuid1 libc6; do
      dpkg-deb -f "$deb" Depends | grep -q "$lib" || fail "Depends lacks $lib"
    done
    dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x"; exit 1; }
    lintian --fail-on error "$deb" 2>&1 | grep -v "root privileges" || true
    lintian --fail-on error "$deb" >/dev/null 2>&1 || fail "lintian reports errors"
    ;;
  *)
    echo "usage: $0 --build DIR | --deb FILE" >&2
    exit 2
    ;;
esac
[ -n "$version" ] || { echo "FAIL: no version"; exit 1; }
usr=$root/usr

for f in bin/scoutcam bin/scoutcam-cli share/man/man1/scoutcam.1.gz share/man/man1/scoutcam-cli.1.gz \
  share/applications/scoutcam.desktop share/metainfo/com.korvane.Scoutcam.metainfo.xml \
  share/doc/scoutcam/copyright share/doc/scoutcam/changelog.gz; do
  [ -f "$usr/$f" ] || fail "missing /usr/$f"
done
for size in 16 22 24 32 48 64 128 256; do
  icon=$usr/share/icons/hicolor/${size}x${size}/apps/scoutcam.png
  file "$icon" 2>/dev/null | grep -q "PNG image data, $size x $size" || fail "icon $size missing or of another size"
done

# As root, every program runs in a network namespace of its own, without interfaces, so that
# even a program that wrongly went on to start its discovery client reaches no network.
isolate=()
[ "$(id -u)" -eq 0 ] && isolate=(unshare --net)

# run NAME ARGS...: runs an installed program the way a user's shell would, without a display,
# with the system's libraries only and its log and settings in the temporary root.
run() {
  local program=$1
  shift
  timeout 30 "${isolate[@]}" env -u LD_LIBRARY_PATH -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    -u XDG_SESSION_TYPE TMPDIR="$root" XDG_CONFIG_HOME="$root/config" "${extra_env[@]}" \
    "$usr/bin/$program" "$@"
}

# program, arguments, extra environment, status, pattern that stdout or stderr must match
cases=(
  "scoutcam|--help||0|^Usage: scoutcam "
  "scoutcam|-h||0|^Usage: scoutcam "
  "scoutcam|--version||0|^scoutcam $version\$"
  "scoutcam|||1|cannot open a window"
  "scoutcam-cli|--help||0|^Usage: scoutcam-cli "
  "scoutcam-cli|--version||0|^scoutcam-cli $version\$"
  "scoutcam-cli|search --version||0|^scoutcam-cli $version\$"
  "scoutcam-cli|bogus||2|unknown command: bogus"
)
# Past its own options the program opens a window (here on no screen): only where it cannot
# reach a network.
[ ${#isolate[@]} -gt 0 ] && cases+=("scoutcam|--bogus|QT_QPA_PLATFORM=offscreen|2|unknown argument: --bogus")
for c in "${cases[@]}"; do
  IFS='|' read -r program args envs want pattern <<<"$c"
  extra_env=()
  [ -n "$envs" ] && extra_env=("$envs")
  # shellcheck disable=SC2086  # the arguments are words
  output=$(run "$program" $args 2>&1)
  got=$?
  [ "$got" -eq "$want" ] || fail "$program $args: status $got, expected $want"
  grep -qE "$pattern" <<<"$output" || fail "$program $args: no line matches '$pattern' in: $output"
done

# The manual pages: they render without warnings, carry the version, and list every option
# that --help names.
extra_env=()
for program in scoutcam scoutcam-cli; do
  page=$usr/share/man/man1/$program.1.gz
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$program(1) renders with warnings: $warnings"
  text=$(MANWIDTH=200 man -l "$page" 2>/dev/null)
  grep -q "^$program $version " <<<"$text" || fail "$program(1) does not name version $version"
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES "SEE ALSO"; do
    grep -q "^$section\$" <<<"$text" || fail "$program(1) has no section $section"
  done
  for option in $(run "$program" --help | grep -oE -- '--[a-z][a-z-]+' | sort -u); do
    grep -q -- "$option" <<<"$text" || fail "$program(1) lacks $option of --help"
  done
done

desktop-file-validate "$usr/share/applications/scoutcam.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$usr/share/metainfo/com.korvane.Scoutcam.metainfo.xml" >/dev/null ||
  fail "appstreamcli validate: $(appstreamcli validate --no-net "$usr/share/metainfo/com.korvane.Scoutcam.metainfo.xml")"
grep -q "<release version=\"$version\"" "$usr/share/metainfo/com.korvane.Scoutcam.metainfo.xml" ||
  fail "metainfo has no release $version"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "installed tree of Scoutcam $version: all checks passed"
