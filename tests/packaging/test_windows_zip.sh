#!/usr/bin/env bash
# The Windows zip of a build: packed into a temporary folder and checked there. One top
# folder with the README (CRLF lines) and the licences; the build's programs, stripped,
# importing only DLLs that every Windows has and described by the README; no other program
# (no tests).
#   test_windows_zip.sh BUILD_DIR [PROGRAM.exe...]   the programs that the build made
set -uo pipefail
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

build=$(realpath "$1")
shift
source_dir=$(realpath "$(dirname "$0")/../..")
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache_value CMAKE_PROJECT_VERSION)
objdump=$(cache_value CMAKE_OBJDUMP)
name=scoutcam-$version-windows-x64

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$out" && cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$out/pack" >"$out/cpack.log") ||
  { cat "$out/cpack.log"; echo "FAIL: cpack"; exit 1; }
zip=$out/pack/$name.zip
[ -f "$zip" ] || { echo "FAIL: no $name.zip"; exit 1; }
echo "$name.zip: $(stat -c %s "$zip") bytes"
mkdir "$out/unpacked"
(cd "$out/unpacked" && cmake -E tar xf "$zip") || { echo "FAIL: unpacking"; exit 1; }
[ "$(ls "$out/unpacked")" = "$name" ] || fail "the zip has more than the one folder $name"
top=$out/unpacked/$name

readme=$top/README.txt
[ -f "$readme" ] || fail "no README.txt"
[ "$(grep -c $'\r$' "$readme")" = "$(wc -l <"$readme")" ] || fail "README.txt has lines without CR"
grep -q "^Scoutcam $version for Windows" "$readme" || fail "README.txt does not name version $version"
for license in scoutcam gsoap mingw-w64 gcc; do
  [ -s "$top/licenses/$license.txt" ] || fail "no licenses/$license.txt"
done

expected=$(for built in "$@"; do basename "$built"; done | sort)
packed=$(cd "$top" && find . -iname '*.exe' -printf '%P\n' | sort)
described=$(grep -o '^[^ ]*\.exe: ' "$readme" | sed 's/: $//' | sort)
[ "$packed" = "$expected" ] || fail "packed programs [$packed], built [$expected]"
[ "$described" = "$expected" ] || fail "README.txt describes [$described], built [$expected]"
[ $# -gt 0 ] || grep -q "no program yet" "$readme" || fail "README.txt does not say there is none"
for built in "$@"; do
  exe=$top/$(basename "$built")
  [ -f "$exe" ] || continue
  echo "$(basename "$built"): $(stat -c %s "$exe") bytes (built: $(stat -c %s "$built"))"
  ! "$objdump" -h "$exe" | grep -q '\.debug_' || fail "$(basename "$built") is not stripped"
  cmake -DOBJDUMP="$objdump" -DPROGRAM="$exe" -P "$source_dir/cmake/check_imports.cmake" \
    >/dev/null || fail "$(basename "$built") imports DLLs that Windows does not have"
done

[ "$failures" -eq 0 ] || exit 1
echo "Windows zip checked"
