#!/usr/bin/env bash
# Checks that the C++ sources (src/, tests/, bench/ and any at the top level)
# are formatted as .clang-format says. Prints each difference; exits non-zero
# when there is one. With --fix it formats those files in place instead.
# $CLANG_FORMAT names the tool (default clang-format).
#
#   check-format.sh [--fix]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
format=${CLANG_FORMAT:-clang-format}
fix=0
case "${1:-}" in
  "") ;;
  --fix) fix=1 ;;
  *) echo "usage: check-format.sh [--fix]" >&2; exit 2 ;;
esac

dirs=()
for d in src tests bench; do [ -d "$d" ] && dirs+=("$d"); done
mapfile -d '' files < <(
  { find "${dirs[@]}" -type f \( -name '*.cpp' -o -name '*.h' \) -print0
    find . -maxdepth 1 -type f \( -name '*.cpp' -o -name '*.h' \) -print0; } | sort -z)
if [ ${#files[@]} -eq 0 ]; then
  echo "check-format: no sources found" >&2
  exit 2
fi
if [ "$fix" -eq 1 ]; then
  printf '%s\0' "${files[@]}" | xargs -0 -n 50 "$format" --style=file -i
  echo "check-format: ${#files[@]} files formatted in place"
  exit 0
fi
if ! printf '%s\0' "${files[@]}" | xargs -0 -n 50 "$format" --style=file --dry-run --Werror; then
  echo "check-format: files differ from .clang-format (see above)" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
