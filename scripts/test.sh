#!/usr/bin/env bash
# Sets everything up, builds, and runs every test: the normal build, the engine
# tests under address and undefined-behaviour sanitizers, the threaded tests
# under ThreadSanitizer, the engine compiled by clang with its thread-safety
# analysis, clang-tidy over src/, and a short fuzzing run. Every build treats
# warnings as errors. The sources must match .clang-format
# (scripts/check-format.sh --fix applies it).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=$(nproc)

"$root/scripts/setup.sh" -DTABRIX_WERROR=ON
echo "== format"
"$root/scripts/check-format.sh"
echo "== tests"
ctest --test-dir "$root/build" --output-on-failure -j"$jobs" --timeout 900

echo "== clang-tidy over src/"
"$root/scripts/check-tidy.sh" "$root/build"

echo "== engine tests under address and undefined-behaviour sanitizers"
cmake -S "$root" -B "$root/build-asan" -G Ninja -DTABRIX_BUILD_UI=OFF \
  -DCMAKE_BUILD_TYPE=Debug "-DTABRIX_SANITIZE=address;undefined" -DTABRIX_WERROR=ON >/dev/null
cmake --build "$root/build-asan" -j"$jobs"
# The office client libraries keep a few objects until exit; leaks are not
# what this run looks for.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build-asan" --output-on-failure -L engine -LE office -j"$jobs"

echo "== threaded tests under ThreadSanitizer"
cmake -S "$root" -B "$root/build-tsan" -G Ninja -DTABRIX_BUILD_UI=OFF \
  -DCMAKE_BUILD_TYPE=Debug -DTABRIX_SANITIZE=thread -DTABRIX_WERROR=ON >/dev/null
cmake --build "$root/build-tsan" -j"$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir "$root/build-tsan" --output-on-failure -L threaded -LE office -j"$jobs"

echo "== engine under clang's thread-safety analysis (compile only)"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-clang" -G Ninja -DTABRIX_BUILD_UI=OFF \
  -DTABRIX_BUILD_TESTS=OFF -DTABRIX_WERROR=ON -DCMAKE_CXX_FLAGS=-Wthread-safety >/dev/null
cmake --build "$root/build-clang" -j"$jobs"

if [ -x "$root/scripts/fuzz-smoke.sh" ]; then
  echo "== fuzzing"
  "$root/scripts/fuzz-smoke.sh"
fi
echo "== all tests passed"
