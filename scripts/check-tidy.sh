#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over every source file under
# src/ in a configured build's compile_commands.json (its generated headers
# must exist: build it first). Prints each finding; exits non-zero when there
# is one, or when clang-tidy cannot run.
#
#   check-tidy.sh [BUILD-DIR]     (default build/; $TABRIX_TIDY_JOBS, default 2)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
jobs=${TABRIX_TIDY_JOBS:-2}
if [ ! -f "$build/compile_commands.json" ]; then
  echo "check-tidy: $build/compile_commands.json is missing; configure the build first" >&2
  exit 2
fi
runner=$(command -v run-clang-tidy || command -v run-clang-tidy-14 || true)
if [ -z "$runner" ]; then
  echo "check-tidy: run-clang-tidy is not installed (Debian package clang-tidy)" >&2
  exit 2
fi
# The file argument is a regular expression over the database's file names.
src_re="^$(printf '%s' "$root/src/" | sed 's/[][\.*^$+?(){}|]/\\&/g').*\\.cpp\$"
start=$SECONDS
if ! "$runner" -quiet -p "$build" -j "$jobs" "$src_re"; then
  echo "check-tidy: findings (see above)" >&2
  exit 1
fi
echo "check-tidy: clean in $((SECONDS - start)) s"
