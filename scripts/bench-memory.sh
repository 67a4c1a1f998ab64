#!/usr/bin/env bash
# The office processes' resident memory during a long unattended run: 2,000
# generated workbooks (small and ~20-page ones, as in bench-conversion.sh)
# converted with ThreadsCount 1 and 2, once with the office recycling as
# shipped (a restart after 200 documents or past 1536 MB resident) and once
# with the resident limit off (TABRIX_OFFICE_MAX_RESIDENT_MB=0, the restart
# after 200 documents only). Every 2 s the resident memory (RSS) of all
# soffice.bin children of the run is summed; printed per run: the peak and the
# last sample, and how many office processes the run started. Resident memory
# does not depend on what else the machine runs, so this can run on a busy one.
#
#   scripts/bench-memory.sh [build folder]      (default: build-perf)
#
# Environment: BENCH_BOOKS (workbooks: 2000), BENCH_THREADS (the thread counts:
# "1 2"), BENCH_LIMITS (the resident limits in MB, "shipped" for the program's
# own: "shipped 0"), BENCH_MAX_DOCUMENTS (restart after that many documents,
# instead of the program's 200), BENCH_KEEP=1 (keep the temporary folder and
# the samples).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-"$root/build-perf"}
books=${BENCH_BOOKS:-2000}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTABRIX_BUILD_UI=ON >/dev/null
fi
ninja -C "$build" tabrix tabrix_bench_corpus >/dev/null
tabrix="$build/bin/tabrix"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tabrix-memory.XXXXXX")
cleanup() { if [ "${BENCH_KEEP:-0}" = 1 ]; then echo "kept $tmp"; else rm -rf "$tmp"; fi; }
trap cleanup EXIT
fail() { echo "bench-memory: $*" >&2; exit 1; }

# The bench corpus's mix: 9 of 10 small books, 1 of 10 of about 20 pages.
medium=$((books / 10))
mkdir -p "$tmp/corpus"
"$build/bench/tabrix_bench_corpus" "$tmp/corpus" $((books - medium)) "$medium" 0 >/dev/null
files=$(find "$tmp/corpus" -type f -name '*.xls?' | wc -l)
echo "$files workbooks ($((books - medium)) small, $medium of ~20 pages), $(du -sh "$tmp/corpus" | cut -f1); $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?'), $(soffice --version 2>/dev/null | head -1)"

# sample PID FILE: every 2 s, "seconds rss_kb offices pids" of the soffice.bin
# children of PID, until PID ends.
sample() {
  local pid=$1 file=$2 t0=$SECONDS kids rss
  while kill -0 "$pid" 2>/dev/null; do
    kids=$(ps -o pid=,comm= --ppid "$pid" 2>/dev/null | awk '$2 == "soffice.bin" {printf "%s ", $1}' || true)
    rss=0
    for k in $kids; do rss=$((rss + $(awk '/^VmRSS:/ {print $2}' "/proc/$k/status" 2>/dev/null || echo 0))); done
    echo "$((SECONDS - t0)) $rss $(echo "$kids" | wc -w) $kids" >>"$file"
    sleep 2
  done
}

printf '| %-8s | %-22s | %9s | %9s | %9s | %7s | %7s |\n' threads "recycling" "peak MB" "end MB" "offices" "wall s" "items"
for threads in ${BENCH_THREADS:-1 2}; do
  for limit in ${BENCH_LIMITS:-shipped 0}; do
    name="t$threads-$limit"
    env=()
    if [ "$limit" = shipped ]; then label="as shipped"; else env+=("TABRIX_OFFICE_MAX_RESIDENT_MB=$limit"); label="limit ${limit} MB"; fi
    [ "$limit" = 0 ] && label="resident limit off"
    if [ -n "${BENCH_MAX_DOCUMENTS:-}" ]; then env+=("TABRIX_OFFICE_MAX_DOCUMENTS=$BENCH_MAX_DOCUMENTS"); label="$label, $BENCH_MAX_DOCUMENTS docs"; fi
    rm -rf "$tmp/out"
    t0=$SECONDS
    env "${env[@]}" "$tabrix" "/P:PureConsole=True;Source=$tmp/corpus/*.xls?;Target=$tmp/out;ThreadsCount=$threads;AllSheets=True;LogFile=$tmp/$name.log" &
    pid=$!
    sample "$pid" "$tmp/$name.samples" &
    sampler=$!
    wait "$pid" || fail "$name: tabrix failed (see $tmp/$name.log)"
    wait "$sampler" || true
    wall=$((SECONDS - t0))
    ok=$(grep -c '^Success' "$tmp/$name.log" || true)
    [ "$ok" -eq "$files" ] || fail "$name: $ok of $files items succeeded (see $tmp/$name.log)"
    peak=$(awk '$2 > m {m = $2} END {printf "%.0f", m / 1024}' "$tmp/$name.samples")
    end=$(awk '$2 > 0 {last = $2} END {printf "%.0f", last / 1024}' "$tmp/$name.samples")
    offices=$(awk '{for (i = 4; i <= NF; ++i) seen[$i] = 1} END {print length(seen)}' "$tmp/$name.samples")
    printf '| %-8s | %-22s | %9s | %9s | %9s | %7s | %7s |\n' "$threads" "$label" "$peak" "$end" "$offices" "$wall" "$ok"
  done
done
echo "(peak and end: the sum of the soffice.bin processes' VmRSS, sampled every 2 s; end: the last sample with an office running; offices: processes seen, so a short-lived one may be missed)"
