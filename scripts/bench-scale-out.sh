#!/usr/bin/env bash
# Scale-out throughput on a one-node Slurm (scripts/slurm-single-node.sh): the
# same generated corpus converted by a job array of 1 task and by one of 2
# tasks (`tabrix convert --shard auto`, one converter thread each), wall time
# from the submission to the end of the array's last task. Needs root, like
# the cluster script.
#
#   scripts/bench-scale-out.sh [build folder]      (default: build-perf)
#
# Environment: BENCH_SMALL, BENCH_MEDIUM, BENCH_LARGE (workbooks of each size,
# as in bench-conversion.sh: 176, 20, 4), BENCH_REPEAT (rounds of the two
# runs: 3; the median of each is reported), BENCH_KEEP=1 (keep the temporary
# folder).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-"$root/build-perf"}
small=${BENCH_SMALL:-176}
medium=${BENCH_MEDIUM:-20}
large=${BENCH_LARGE:-4}
repeat=${BENCH_REPEAT:-3}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTABRIX_BUILD_UI=ON >/dev/null
fi
ninja -C "$build" tabrix tabrix_bench_corpus >/dev/null
build=$(cd "$build" && pwd)  # the tasks run in another folder
tabrix="$build/bin/tabrix"

fail() { echo "bench-scale-out: $*" >&2; exit 1; }
now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"$1\", $2 }"; }
median() { sort -n | awk '{ r[NR] = $1 } END { printf "%.3f", NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2 }'; }
spread() { sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.2f-%.2f", lo, hi }'; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tabrix-scale.XXXXXX")
chmod 755 "$tmp"
cluster=""
cleanup() {
  if [ -n "$cluster" ]; then "$root/scripts/slurm-single-node.sh" stop "$cluster" >/dev/null 2>&1 || true; fi
  if [ "${BENCH_KEEP:-0}" = 1 ]; then echo "kept $tmp"; else rm -rf "$tmp"; fi
}
trap cleanup EXIT

echo "== corpus"
mkdir -p "$tmp/tree" "$tmp/logs" "$tmp/node-tmp"
"$build/bench/tabrix_bench_corpus" "$tmp/tree" "$small" "$medium" "$large" >/dev/null
files=$(find "$tmp/tree" -type f -name '*.xls?' | wc -l)
echo "$files workbooks ($small small, $medium of ~20 pages, $large of 20,000 rows)"

echo "== single-node Slurm"
started=$("$root/scripts/slurm-single-node.sh" start --owner $$ --lifetime 3600) || fail "the cluster did not start"
cluster=$(echo "$started" | sed -n 's/^TABRIX_SLURM_DIR=//p')
export SLURM_CONF=$(echo "$started" | sed -n 's/^SLURM_CONF=//p')
[ -n "$cluster" ] && [ -n "$SLURM_CONF" ] || fail "unexpected output of slurm-single-node.sh: $started"
echo "$(sinfo -h -o '%n, %c CPUs, %T')"

# Node-local office profiles, and no settings of the user's own.
export TMPDIR="$tmp/node-tmp" XDG_CONFIG_HOME="$tmp/config" XDG_STATE_HOME="$tmp/state" XDG_CACHE_HOME="$tmp/cache"
unset DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=offscreen

# run_array NAME TASKS: converts the tree into $tmp/out/NAME with an array of
# TASKS tasks; prints the wall seconds.
run_array() {
  local name=$1 tasks=$2 job id t0 t1 converted
  rm -rf "$tmp/out/$name" "$tmp/logs/$name"-*
  job="$tmp/$name.sh"
  cat >"$job" <<EOF
#!/bin/bash
exec '$tabrix' convert -q -r -j 1 --shard auto -o '$tmp/out/$name' --report '$tmp/logs/$name-task-'"\$SLURM_ARRAY_TASK_ID"'.jsonl' '$tmp/tree'
EOF
  chmod +x "$job"
  t0=$(now)
  id=$(sbatch --parsable --array=0-$((tasks - 1)) --cpus-per-task=1 --job-name="$name" --chdir="$tmp" \
    --output="$tmp/logs/$name-%a.out" "$job") || fail "$name: sbatch failed"
  id=${id%%;*}
  while [ -n "$(squeue -h -j "$id" -o %i 2>/dev/null)" ]; do sleep 0.2; done
  t1=$(now)
  [ "$(scontrol -o show job "$id" | grep -c 'JobState=COMPLETED')" -eq "$tasks" ] ||
    fail "$name: not every task completed: $(scontrol -o show job "$id" | grep -o 'JobState=[A-Z]*' | sort | uniq -c | tr '\n' ' ')"
  converted=$(find "$tmp/out/$name" -name '*.pdf' | wc -l)
  [ "$converted" -eq "$files" ] || fail "$name: $converted PDF files for $files workbooks (see $tmp/logs)"
  calc "%.3f" "$t1 - $t0"
}

# The office profiles of the tasks exist before timing (the first start on a
# new profile takes seconds more).
echo "== warming up"
run_array warm 2 >/dev/null

for round in $(seq 1 "$repeat"); do
  w1=$(run_array one "1"); echo "$w1" >>"$tmp/one.rounds"
  w2=$(run_array two "2"); echo "$w2" >>"$tmp/two.rounds"
  echo "round $round: 1 task $w1 s, 2 tasks $w2 s, ratio $(calc "%.2f" "$w1 / $w2")"
done
paste "$tmp/one.rounds" "$tmp/two.rounds" | awk '{ printf "%.4f\n", $1 / $2 }' >"$tmp/ratios"

m1=$(median <"$tmp/one.rounds"); m2=$(median <"$tmp/two.rounds")
echo
echo "== results ($files workbooks, median of $repeat rounds, $(date -u +%Y-%m-%d), $(nproc) cores, $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?'))"
printf '| %-24s | %9s | %13s | %11s | %13s |\n' "run" "workbooks" "wall s (med)" "min-max s" "workbooks/s"
printf '| %-24s | %9s | %13s | %11s | %13s |\n' "1 task, 1 thread" "$files" "$m1" "$(spread <"$tmp/one.rounds")" "$(calc "%.2f" "$files / $m1")"
printf '| %-24s | %9s | %13s | %11s | %13s |\n' "2 tasks, 1 thread each" "$files" "$m2" "$(spread <"$tmp/two.rounds")" "$(calc "%.2f" "$files / $m2")"
echo "speed-up of 2 tasks (1-task wall / 2-task wall), round by round: $(awk '{ printf "%.2f ", $1 }' "$tmp/ratios")(median $(median <"$tmp/ratios" | awk '{ printf "%.2f", $1 }'), spread $(spread <"$tmp/ratios"))"
