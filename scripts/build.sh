# Sourced by the scripts: the one set-up, configure and build step they share.
# After sourcing, the working directory is the top of the tree.
#   build_tree DIR [CMAKE_OPTION...] [-- TARGET...]
# installs what is missing (scripts/setup), configures DIR with Ninja and the options, and
# builds the targets (all of them when none is named).
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build_tree() {
  local dir=$1
  shift
  local options=() targets=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do
    options+=("$1")
    shift
  done
  [ $# -gt 0 ] && shift
  targets=("$@")
  ./scripts/setup
  cmake -S . -B "$dir" -G Ninja "${options[@]}" >/dev/null
  if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"
  else
    cmake --build "$dir" -j "$(nproc)"
  fi
}
