#!/usr/bin/env bash
# Installs the Debian packages Tabrix needs (only those missing), then
# configures and builds into build/ (or $TABRIX_BUILD_DIR). Works as root, or
# as a user with sudo.
#
#   setup.sh [--target NAME]... [CMAKE-CONFIGURE-ARGUMENTS...]
#
# With --target only the named build targets are built; without it, all of
# them (the tests and benchmarks included). Further arguments go to the CMake
# configuration.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

targets=()
while [ $# -gt 0 ] && [ "$1" = --target ]; do
  if [ $# -lt 2 ] || [ -z "$2" ]; then
    echo "setup: --target needs the name of a build target" >&2
    exit 2
  fi
  targets+=(--target "$2")
  shift 2
done

mapfile -t wanted < <(grep -vE '^\s*(#|$)' scripts/packages.txt)
missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  # As root the package tool runs directly; otherwise through sudo, keeping
  # the environment so the non-interactive front end reaches apt.
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo -E)
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build=${TABRIX_BUILD_DIR:-"$root/build"}
cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
echo "setup: built $build/bin/tabrix"
