#!/usr/bin/env bash
# Latency of one small workbook and the throughput of the conversion service:
#   - per call: `tabrix convert` (a fresh process and office each call),
#     `soffice --convert-to pdf` (kept profile), and `tabrix serve` with curl
#     (warm offices), the median of BENCH_CALLS calls each (default 20);
#   - throughput over BENCH_BOOKS small workbooks (default 200): `tabrix serve
#     -j 2` fed by two concurrent curl clients against `tabrix convert -j 2`
#     over the same folder.
# Goals, printed as met / NOT met: `tabrix convert` per call at least 2.5x as
# fast as soffice per call; the service under 0.15 s per small workbook; the
# service's throughput within 10% of `tabrix convert -j 2`.
#
#   scripts/bench-latency.sh [build folder]      (default: build-perf)
#
# The build folder is configured Release (with the window layer, for the
# tabrix program) when it does not exist yet. BENCH_KEEP=1 keeps the
# temporary folder. Run it on an idle machine: the figures are wall times.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-"$root/build-perf"}
calls=${BENCH_CALLS:-20}
books=${BENCH_BOOKS:-200}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTABRIX_BUILD_UI=ON >/dev/null
fi
ninja -C "$build" tabrix tabrix_bench_corpus >/dev/null
tabrix="$build/bin/tabrix"
for tool in soffice curl; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tabrix-latency.XXXXXX")
server=
cleanup() {
  if [ -n "$server" ]; then kill -TERM "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  if [ "${BENCH_KEEP:-0}" = 1 ]; then echo "kept $tmp"; else rm -rf "$tmp"; fi
}
trap cleanup EXIT
fail() { echo "bench: $*" >&2; exit 1; }
now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"$1\", $2 }"; }
median() { sort -n | awk '{ r[NR] = $1 } END { printf "%.3f", NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2 }'; }
spread() { sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.3f-%.3f", lo, hi }'; }
# goal DESCRIPTION CONDITION (awk expression)
goal() { if awk "BEGIN { exit !($2) }"; then printf '%-62s met\n' "$1"; else printf '%-62s NOT met\n' "$1"; fi; }

echo "== machine"
echo "$(nproc) cores, $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$(soffice --version 2>/dev/null | head -1); build $build, $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?')"

# The corpus: small books only (one to three sheets of 10 to 50 rows).
mkdir -p "$tmp/books"
"$build/bench/tabrix_bench_corpus" "$tmp/books" "$books" 0 0 >/dev/null
mapfile -t all < <(find "$tmp/books" -maxdepth 1 -type f -name '*.xls?' | sort)
[ "${#all[@]}" -eq "$books" ] || fail "${#all[@]} workbooks made, $books asked for"
small=${all[0]}
echo "== one small workbook ($(basename "$small")), $calls calls each"

# time_calls NAME COMMAND...: runs COMMAND $calls times, one wall time a line in $tmp/NAME.
time_calls() {
  local name=$1 t0 t1
  shift
  for _ in $(seq 1 "$calls"); do
    rm -rf "$tmp/out"; mkdir -p "$tmp/out"
    t0=$(now); "$@" >/dev/null 2>>"$tmp/$name.err" || fail "$name failed (see $tmp/$name.err)"; t1=$(now)
    [ -n "$(find "$tmp/out" -name '*.pdf')" ] || fail "$name wrote no PDF"
    calc "%.4f\n" "$t1 - $t0" >>"$tmp/$name"
  done
  echo "$name: median $(median <"$tmp/$name") s (spread $(spread <"$tmp/$name"))"
}

# Kept profiles first, so that no measured call pays a profile's first start.
"$tabrix" convert -q -o "$tmp/warm" "$small" >/dev/null
soffice -env:UserInstallation="file://$tmp/profile" --headless --convert-to pdf --outdir "$tmp/warm" "$small" >/dev/null 2>&1

time_calls convert "$tabrix" convert -q -o "$tmp/out" "$small"
time_calls soffice soffice -env:UserInstallation="file://$tmp/profile" --headless --convert-to pdf --outdir "$tmp/out" "$small"

"$tabrix" serve --listen 127.0.0.1:0 -j 2 --max-queue 16 2>"$tmp/serve.err" &
server=$!
for _ in $(seq 1 600); do
  grep -q 'listening on' "$tmp/serve.err" && break
  kill -0 "$server" 2>/dev/null || fail "tabrix serve ended (see $tmp/serve.err)"
  sleep 0.1
done
url=$(sed -n 's/.*listening on \(http:[^ ]*\).*/\1/p' "$tmp/serve.err")
[ -n "$url" ] || fail "tabrix serve did not start listening"
post() { curl -fsS -o "$2" -F "file=@$1" "$url/convert"; }
post "$small" "$tmp/warm/serve.pdf"
time_calls serve post "$small" "$tmp/out/small.pdf"

echo "== throughput over $books small workbooks"
# serve_half FILES...: one client posting its files one after another.
serve_half() { local f; for f in "$@"; do post "$f" "$tmp/served/$(basename "$f").pdf" || return 1; done; }
half=$(( (books + 1) / 2 ))
mkdir -p "$tmp/served"
t0=$(now)
serve_half "${all[@]:0:$half}" & c1=$!
serve_half "${all[@]:$half}" & c2=$!
wait $c1 || fail "a serve client failed"
wait $c2 || fail "a serve client failed"
t1=$(now)
serveWall=$(calc "%.3f" "$t1 - $t0")
[ "$(find "$tmp/served" -name '*.pdf' | wc -l)" -eq "$books" ] || fail "serve: not every workbook became a PDF"
kill -TERM "$server"; wait "$server" || fail "tabrix serve did not end with 0"; server=

t0=$(now)
"$tabrix" convert -q -j 2 -o "$tmp/converted" "$tmp/books" >/dev/null
t1=$(now)
convertWall=$(calc "%.3f" "$t1 - $t0")
[ "$(find "$tmp/converted" -name '*.pdf' | wc -l)" -eq "$books" ] || fail "convert -j 2: not every workbook became a PDF"
echo "serve -j 2, two clients: $serveWall s ($(calc "%.2f" "$books / $serveWall") workbooks/s)"
echo "convert -j 2:            $convertWall s ($(calc "%.2f" "$books / $convertWall") workbooks/s)"

c=$(median <"$tmp/convert"); s=$(median <"$tmp/soffice"); v=$(median <"$tmp/serve")
echo
echo "== results ($(date -u +%Y-%m-%d), medians of $calls calls, $books workbooks, load after: $(cut -d' ' -f1-3 /proc/loadavg))"
printf '%-62s %s\n' \
  "tabrix convert per call:" "$c s" \
  "soffice --convert-to per call:" "$s s" \
  "tabrix serve + curl per call:" "$v s" \
  "soffice / tabrix convert per call:" "$(calc "%.2f" "$s / $c")x" \
  "serve throughput / convert -j 2 throughput:" "$(calc "%.2f" "$convertWall / $serveWall")"
goal "goal: tabrix convert per call >= 2.5x as fast as soffice:" "$s / $c >= 2.5"
goal "goal: tabrix serve under 0.15 s per small workbook:" "$v < 0.15"
goal "goal: serve throughput within 10% of convert -j 2:" "$convertWall / $serveWall >= 0.9"
