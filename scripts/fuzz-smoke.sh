#!/bin/sh
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers) in their own build folder and runs each one briefly.
#   FUZZ_SECONDS   seconds per target (default 30)
#   FUZZ_BUILD_DIR build folder (default <repo>/build-fuzz)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-30}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTABRIX_BUILD_UI=OFF -DTABRIX_BUILD_TESTS=OFF \
  -DTABRIX_BUILD_FUZZ=ON "-DTABRIX_SANITIZE=address;undefined" >/dev/null
ninja -C "$build" fuzz_option_list fuzz_command_line

for target in fuzz_option_list fuzz_command_line; do
  corpus="$build/fuzz-corpus/$target"
  mkdir -p "$corpus"
  echo "== $target: ${seconds}s"
  "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 "$corpus" "$root/tests/fuzz/seeds/$target"
done
echo "fuzz smoke run passed"
