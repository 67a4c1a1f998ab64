#!/usr/bin/env bash
# Conversion speed of Tabrix against LibreOffice's own batch conversion on two
# generated corpora, in one run: the uniform one (small books only, so the
# static halves of the two soffice calls are balanced) and the mixed one
# (small books, some of about twenty pages and a few of 20,000 rows, whose
# sizes leave static halves unbalanced). On each: Tabrix unattended with ThreadsCount 1 and 2,
# one `soffice --convert-to pdf` call over the same files and two such calls
# on halves at the same time (each with its own profile), the office's
# document time from Tabrix's per-item timing (TABRIX_ITEM_TIMES), the office
# start-up, Tabrix's peak memory, the unattended run on 10,000 items with a
# converter that writes a tiny file, and the CPU use of idle workers.
#
#   scripts/bench-conversion.sh [build folder]      (default: build-perf)
#
# The build folder is configured Release (with the window layer, for the
# tabrix program) when it does not exist yet. Environment: BENCH_CORPORA
# (which corpora, in order: "uniform mixed"), BENCH_UNIFORM (small books of
# the uniform corpus: 200), BENCH_SMALL, BENCH_MEDIUM, BENCH_LARGE (workbooks
# of each size in the mixed corpus: 176, 20, 4),
# BENCH_MANY (items of the memory run: 10000), BENCH_KEEP=1 (keep the
# temporary folder), BENCH_WAIT (seconds to wait for an idle machine before
# each timed run: 900), BENCH_REPEAT (rounds of the four timed runs: 5; the
# median wall time of each run is reported with its spread, min-max, and the
# ratios round by round with their median and spread: runs of one round are
# neighbours in time), BENCH_RECALC (the Recalculate option of the timed
# Tabrix runs: Auto, the default, recalculates every workbook of this corpus,
# which libxlsxwriter writes with fullCalcOnLoad; Never as before that option).
# Each run reports the CPU time other processes used meanwhile ("other
# cores"): figures with a high value are not comparable.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-"$root/build-perf"}
mixSmall=${BENCH_SMALL:-176}
mixMedium=${BENCH_MEDIUM:-20}
mixLarge=${BENCH_LARGE:-4}
many=${BENCH_MANY:-10000}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTABRIX_BUILD_UI=ON >/dev/null
fi
buildType=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
ninja -C "$build" tabrix tabrix_bench_corpus tabrix_bench_office_start tabrix_bench_many tabrix_bench_idle >/dev/null
tabrix="$build/bin/tabrix"
bench="$build/bench"
command -v soffice >/dev/null || { echo "soffice is not installed" >&2; exit 1; }
command -v pdfinfo >/dev/null || { echo "pdfinfo (poppler-utils) is not installed" >&2; exit 1; }

base=$(mktemp -d "${TMPDIR:-/tmp}/tabrix-bench.XXXXXX")
tmp=$base
cleanup() { if [ "${BENCH_KEEP:-0}" = 1 ]; then echo "kept $base"; else rm -rf "$base"; fi; }
trap cleanup EXIT

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"$1\", $2 }"; }
fail() { echo "bench: $*" >&2; exit 1; }
# CPU seconds spent by the whole machine so far (all cores, not idle).
cpu_busy() { awk '/^cpu / {printf "%.2f", ($2 + $3 + $4 + $7 + $8 + $9) / 100}' /proc/stat; }
# Waits (up to BENCH_WAIT seconds) until the machine has been idle for 8 s.
wait_quiet() {
  local deadline=$((SECONDS + ${BENCH_WAIT:-900})) b0 b1
  while :; do
    b0=$(cpu_busy); sleep 8; b1=$(cpu_busy)
    if awk "BEGIN { exit !(($b1 - $b0) / 8 < 0.2) }"; then return; fi
    if [ $SECONDS -ge $deadline ]; then echo "(the machine is busy: $(calc "%.2f" "($b1 - $b0) / 8") cores in use)"; return; fi
    sleep 10
  done
}
# timed NAME COMMAND...: runs COMMAND, appends its CPU seconds to $tmp/NAME.cpu.
timed() {
  local name=$1
  shift
  /usr/bin/time -f "%U %S" -a -o "$tmp/$name.cpu" "$@"
}
# measure NAME FUNCTION ARGS...: waits for a quiet machine, runs the function
# with a fresh output folder. Each round's wall seconds are appended to
# $tmp/NAME.rounds and the cores other processes used meanwhile to
# NAME.other.rounds (the table shows the highest). The fastest round so far is kept: $tmp/NAME.wall
# (wall seconds), .own (cores it used), .other (cores other processes used
# meanwhile), .tsv (item times, Tabrix only), and the output in $tmp/out/NAME.
measure() {
  local name=$1 t0 t1 b0 b1 own wall
  shift
  wait_quiet
  rm -rf "$tmp/out/$name" "$tmp/$name.cpu" "$tmp/$name.tsv"
  b0=$(cpu_busy); t0=$(now)
  "$@"
  t1=$(now); b1=$(cpu_busy)
  own=$(awk '{s += $1 + $2} END {print s + 0}' "$tmp/$name.cpu")
  wall=$(calc "%.3f" "$t1 - $t0")
  echo "$wall s ($(calc "%.2f" "$own / $wall") cores used, $(calc "%.2f" "($b1 - $b0 - $own) / $wall") by other processes)"
  echo "$wall" >>"$tmp/$name.rounds"
  calc "%.2f\n" "($b1 - $b0 - $own) / $wall" >>"$tmp/$name.other.rounds"
  if [ ! -f "$tmp/$name.wall" ] || awk "BEGIN { exit !($wall < $(cat "$tmp/$name.wall")) }"; then
    echo "$wall" >"$tmp/$name.wall"
    calc "%.2f" "$own / $wall" >"$tmp/$name.own"
    calc "%.2f" "($b1 - $b0 - $own) / $wall" >"$tmp/$name.other"
    if [ -f "$tmp/$name.tsv" ]; then cp "$tmp/$name.tsv" "$tmp/$name.best.tsv"; fi
    rm -rf "$tmp/out/$name.best"
    mv "$tmp/out/$name" "$tmp/out/$name.best"
  fi
}

echo "== machine"
echo "$(nproc) cores, $(awk '/MemTotal/ {printf "%.1f GB", $2/1048576}' /proc/meminfo), $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1)"
echo "$(. /etc/os-release && echo "$PRETTY_NAME"), $(soffice --version 2>/dev/null | head -1)"
echo "build: $build ($buildType), $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?')"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "== office start-up"
"$bench/tabrix_bench_office_start" 3 | tee "$tmp/start.txt" | grep -v '^office_'
startup=$(awk -F'\t' '$1 == "office_start_s" {print $2}' "$tmp/start.txt")
startupNew=$(awk -F'\t' '$1 == "office_start_new_s" {print $2}' "$tmp/start.txt")

# median and spread of a column of numbers
median() { sort -n | awk '{ r[NR] = $1 } END { printf "%.3f", NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2 }'; }
spread() { sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.2f-%.2f", lo, hi }'; }

# bench_corpus KIND SMALL MEDIUM LARGE: the corpus, its timed rounds and its
# results, in $base/KIND.
bench_corpus() {
kind=$1 small=$2 medium=$3 large=$4
tmp="$base/$kind"
mkdir -p "$tmp"
echo
echo "==== corpus: $kind"
corpus="$tmp/corpus"
mkdir -p "$corpus"
"$bench/tabrix_bench_corpus" "$corpus" "$small" "$medium" "$large" >"$tmp/corpus.tsv"
files=$(wc -l <"$tmp/corpus.tsv")
# soffice gets the files in the order Tabrix takes them: the order the folder
# lists them (find, like Tabrix's search, does not sort). The order matters to
# the office: after a 20,000-row book, the next small books convert 5 to 15 %
# slower in the same process, so a favourable order for one contender alone
# would skew the comparison. Each half keeps its mix of kinds.
find "$corpus" -maxdepth 1 -type f -name '*.xls?' >"$tmp/order.txt"
mapfile -t all <"$tmp/order.txt"
mapfile -t half1 < <(awk -F'\t' 'NR == FNR {half[$3] = $1; next} half[$0] == 1' "$tmp/corpus.tsv" "$tmp/order.txt")
mapfile -t half2 < <(awk -F'\t' 'NR == FNR {half[$3] = $1; next} half[$0] == 2' "$tmp/corpus.tsv" "$tmp/order.txt")
[ "${#all[@]}" -eq "$files" ] && [ $((${#half1[@]} + ${#half2[@]})) -eq "$files" ] || fail "corpus listing does not match"
echo "$files workbooks ($small small, $medium of ~20 pages, $large of 20,000 rows), $(du -sh "$corpus" | cut -f1)"


# Tabrix's kept profiles and the two soffice profiles exist before timing, so
# no measured run pays a first start.
echo "== warming up"
"$tabrix" "/P:PureConsole=True;Source=$corpus/small-00?.xlsx;Target=$tmp/warm/t;ThreadsCount=2;AllSheets=True"
for p in 1 2; do
  soffice -env:UserInstallation="file://$tmp/profile$p" --headless --convert-to pdf --outdir "$tmp/warm/s$p" \
    "$corpus/small-001.xlsx" >/dev/null 2>&1
done

# run_tabrix NAME THREADS: item times in $tmp/NAME.tsv, run log in $tmp/NAME.log.
run_tabrix() {
  local name=$1 threads=$2 ok
  TABRIX_ITEM_TIMES="$tmp/$name.tsv" timed "$name" "$tabrix" \
    "/P:PureConsole=True;Source=$corpus/*.xls?;Target=$tmp/out/$name;ThreadsCount=$threads;AllSheets=True;Recalculate=${BENCH_RECALC:-Auto};LogFile=$tmp/$name.log" \
    || fail "$name: tabrix failed"
  ok=$(grep -c '^Success' "$tmp/$name.log" || true)
  [ "$ok" -eq "$files" ] || fail "$name: $ok of $files items succeeded (see $tmp/$name.log)"
}

# run_soffice NAME PROFILE FILES...
run_soffice() {
  local name=$1 profile=$2
  shift 2
  timed "$name" soffice -env:UserInstallation="file://$tmp/$profile" --headless --convert-to pdf \
    --outdir "$tmp/out/$name" "$@" >>"$tmp/$name.out" 2>&1 || fail "$name: soffice failed (see $tmp/$name.out)"
}

run_soffice_halves() {
  local p1 p2
  run_soffice s2 profile1 "${half1[@]}" &
  p1=$!
  run_soffice s2 profile2 "${half2[@]}" &
  p2=$!
  wait $p1 || fail "s2: first half failed"
  wait $p2 || fail "s2: second half failed"
}

pdfs() { find "$tmp/out/$1.best" -name '*.pdf' | wc -l; }
pages() { find "$tmp/out/$1.best" -name '*.pdf' -exec pdfinfo {} \; 2>/dev/null | awk '/^Pages:/ {s += $2} END {print s + 0}'; }

repeat=${BENCH_REPEAT:-5}
for round in $(seq 1 "$repeat"); do
  echo "== round $round: tabrix, ThreadsCount=1"
  measure t1 run_tabrix t1 1
  echo "== round $round: soffice --convert-to, one call"
  measure s1 run_soffice s1 profile1 "${all[@]}"
  echo "== round $round: tabrix, ThreadsCount=2"
  measure t2 run_tabrix t2 2
  echo "== round $round: soffice --convert-to, two calls on halves at once"
  measure s2 run_soffice_halves
done

for run in t1 s1 t2 s2; do
  [ "$(pdfs $run)" -eq "$files" ] || fail "$run: $(pdfs $run) PDF files for $files workbooks"
done

# Office document time of a run: the sum of its item times (each from the
# item's start to its end, so a thread's first item includes its office start).
items_sum() { awk -F'\t' '!/^#/ {s += $3 - $2} END {printf "%.3f", s / 1000}' "$tmp/$1.best.tsv"; }
peak_kb() { awk -F'\t' '$1 == "# peak_rss_kb" {print $2}' "$tmp/$1.best.tsv"; }
own_cpu() { awk -F'\t' '$1 == "# cpu_ms" {printf "%.2f", $2 / 1000}' "$tmp/$1.best.tsv"; }

w_t1=$(median <"$tmp/t1.rounds"); w_t2=$(median <"$tmp/t2.rounds")
w_s1=$(median <"$tmp/s1.rounds"); w_s2=$(median <"$tmp/s2.rounds")
sum_t1=$(items_sum t1); sum_t2=$(items_sum t2)
# The overhead is taken from the fastest round, whose item times are kept.
b_t1=$(cat "$tmp/t1.wall"); b_t2=$(cat "$tmp/t2.wall")

echo
echo "== results, $kind corpus ($files workbooks, median of $repeat rounds, $(date -u +%Y-%m-%d), load after: $(cut -d' ' -f1-3 /proc/loadavg))"
printf '| %-44s | %8s | %13s | %8s | %7s | %10s | %12s |\n' "run" "wall s" "min-max s" "files/s" "pages" "cores used" "other cores"
printf '|%s|%s|%s|%s|%s|%s|%s|\n' "----------------------------------------------" "----------" "---------------" "----------" "---------" "------------" "--------------"
for row in "t1:tabrix ThreadsCount=1" "s1:soffice --convert-to, one call" \
           "t2:tabrix ThreadsCount=2" "s2:soffice --convert-to, two calls on halves"; do
  run=${row%%:*}
  wall=$(median <"$tmp/$run.rounds")
  printf '| %-44s | %8.2f | %13s | %8.2f | %7s | %10s | %12s |\n' "${row#*:}" "$wall" "$(spread <"$tmp/$run.rounds")" "$(calc "%.4f" "$files / $wall")" \
    "$(pages "$run")" "$(cat "$tmp/$run.own")" "$(sort -n "$tmp/$run.other.rounds" | tail -1)"
done
# Ratios of the runs of one round (neighbours in time share the machine's
# state), their median and spread: less sensitive to a slow minute than the
# ratio of two medians.
ratios() { paste "$tmp/$1.rounds" "$tmp/$2.rounds" | awk '{ printf "%.4f\n", $1 / $2 }'; }
round_ratios() {
  echo "$(ratios "$1" "$2" | awk '{ printf "%.2f ", $1 }')(median $(ratios "$1" "$2" | median | awk '{ printf "%.2f", $1 }'), spread $(ratios "$1" "$2" | spread))"
}
# target_met NUMERATOR DENOMINATOR TARGET: "met" or "NOT met" for the median round ratio.
target_met() { if awk "BEGIN { exit !($(ratios "$1" "$2" | median) >= $3) }"; then echo met; else echo "NOT met"; fi; }

echo
printf '%-58s %s\n' \
  "ThreadsCount=1 / one soffice call, round by round:" "$(round_ratios s1 t1)" \
  "  target: median >= 1.15:" "$(target_met s1 t1 1.15)" \
  "  the same from the median wall times:" "$(calc "%.2f" "$w_s1 / $w_t1")" \
  "ThreadsCount=2 / two soffice calls, round by round:" "$(round_ratios s2 t2)" \
  "  target: median >= 1.20:" "$(target_met s2 t2 1.20)" \
  "  the same from the median wall times:" "$(calc "%.2f" "$w_s2 / $w_t2")" \
  "ThreadsCount=2 / ThreadsCount=1:" "$(calc "%.2f" "$w_t1 / $w_t2")" \
  "two soffice calls / one soffice call:" "$(calc "%.2f" "$w_s1 / $w_s2")" \
  "office start-up, kept profile / new profile:" "$startup s / $startupNew s" \
  "office time of ThreadsCount=1 (fastest round, sum of item times):" "$sum_t1 s" \
  "office time of ThreadsCount=2 (fastest round, sum of item times):" "$sum_t2 s" \
  "Tabrix overhead, ThreadsCount=1 (target <= 5%):" "$(calc "%.1f%%" "100 * ($b_t1 - $sum_t1) / $b_t1")" \
  "Tabrix overhead, ThreadsCount=2 (target <= 5%):" "$(calc "%.1f%%" "100 * ($b_t2 - $sum_t2 / 2) / $b_t2")" \
  "  the same with the office start-up counted, 1 / 2:" "$(calc "%.1f%% / %.1f%%" "100 * ($b_t1 - $sum_t1 + $startup) / $b_t1, 100 * ($b_t2 - $sum_t2 / 2 + $startup) / $b_t2")" \
  "CPU of the tabrix process itself, ThreadsCount=1 / 2:" "$(own_cpu t1) s / $(own_cpu t2) s" \
  "Tabrix peak memory (VmHWM), ThreadsCount=1 / 2:" "$(calc "%.1f MB / %.1f MB" "$(peak_kb t1) / 1024, $(peak_kb t2) / 1024")"
printf '%-10s %-58s %s\n' "$kind" "ThreadsCount=1 / one soffice call:" "$(round_ratios s1 t1)" \
  "$kind" "ThreadsCount=2 / two soffice calls on halves:" "$(round_ratios s2 t2)" >>"$base/summary.txt"
tmp=$base
}

for kind in ${BENCH_CORPORA:-uniform mixed}; do
  case $kind in
    uniform) bench_corpus uniform "${BENCH_UNIFORM:-200}" 0 0 ;;
    mixed) bench_corpus mixed "$mixSmall" "$mixMedium" "$mixLarge" ;;
    *) fail "BENCH_CORPORA: $kind is neither uniform nor mixed" ;;
  esac
done

echo
echo "== unattended run on $many items (tiny-file converter)"
"$bench/tabrix_bench_many" "$many" 2 | tee "$tmp/many.txt" | grep -v '^many_' || fail "many-item run failed"
manyPeak=$(awk -F'\t' '$1 == "many_peak_kb" {print $2}' "$tmp/many.txt")
manyWall=$(awk -F'\t' '$1 == "many_wall_s" {print $2}' "$tmp/many.txt")

echo "== idle workers"
"$bench/tabrix_bench_idle" 3 2 | tee "$tmp/idle.txt" | grep -v '^idle_'
idle=$(awk -F'\t' '$1 == "idle_cpu_share" {print $2}' "$tmp/idle.txt")

echo
echo "== both corpora: the ratios round by round (median, spread); state what holds on both"
cat "$base/summary.txt"
printf '%-69s %s\n' \
  "Tabrix peak memory, $many items (target < 100 MB):" "$(calc "%.1f MB (%.0f items/s)" "$manyPeak / 1024, $many / $manyWall")" \
  "idle worker CPU while waiting for items:" "$(calc "%.2f%% of a core" "100 * $idle")"
