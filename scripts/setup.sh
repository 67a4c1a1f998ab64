#!/usr/bin/env bash
# Installs the Debian packages Tabrix needs (only those missing), then
# configures and builds into build/. Works as root, or as a user with sudo.
# Extra arguments go to the CMake configuration.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

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
cmake --build "$build" -j"$(nproc)"
echo "setup: built $build/bin/tabrix"
