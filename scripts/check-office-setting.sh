#!/usr/bin/env bash
# Whether an office setting, load property or PDF export property changes the
# PDF output: the bench corpus (tabrix_bench_corpus) and the real-world
# workbooks are converted once with the load and export properties
# Excel.Application passes and once with the candidate added
# (tabrix_bench_office_cpu options), and every pair of PDFs must have the same
# page count and the same text (pdftotext -layout). Files the office cannot
# convert (damaged, protected) fail in both and are left out. Also prints the office's CPU
# time per document of both runs (median of the rounds).
#
#   scripts/check-office-setting.sh [--build DIR] OPTION...
#     e.g. --config /org.openoffice.Office.Calc/Formula/Load:OOXMLRecalcMode=0
#          --filter ExportBookmarks=false
# Exit code 0: the output is the same for every file; 1: it differs (the files
# are listed); 2: bad use. Environment: CHECK_CORPUS (folders of workbooks, by
# default a generated bench corpus and /work/shared/corpus/realworld),
# CHECK_KEEP=1 (keep the temporary folder).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-perf"
if [ "${1:-}" = --build ]; then build=$2; shift 2; fi
[ $# -gt 0 ] || { sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
ninja -C "$build" tabrix_bench_office_cpu tabrix_bench_corpus >/dev/null
tool="$build/bench/tabrix_bench_office_cpu"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tabrix-setting.XXXXXX")
cleanup() { if [ "${CHECK_KEEP:-0}" = 1 ]; then echo "kept $tmp"; else rm -rf "$tmp"; fi; }
trap cleanup EXIT

folders=${CHECK_CORPUS:-}
if [ -z "$folders" ]; then
  mkdir -p "$tmp/bench"
  "$build/bench/tabrix_bench_corpus" "$tmp/bench" 36 3 1 >/dev/null
  folders="$tmp/bench /work/shared/corpus/realworld"
fi

mapfile -t books < <(for f in $folders; do find "$f" -maxdepth 1 -type f \( -name '*.xls' -o -name '*.xlsx' -o -name '*.xlsm' \); done | sort)
# Names must be unique across the folders: one output folder.
dups=$(for b in "${books[@]}"; do basename "${b%.*}"; done | sort | uniq -d)
[ -z "$dups" ] || { echo "check-office-setting: workbooks of the same name in two folders: $dups" >&2; exit 2; }

"$tool" --rounds 3 --out "$tmp/current" "${books[@]}" >"$tmp/current.txt" 2>"$tmp/current.err"
"$tool" --rounds 3 --out "$tmp/candidate" "$@" "${books[@]}" >"$tmp/candidate.txt" 2>"$tmp/candidate.err"
echo "${#books[@]} workbooks, $(ls "$tmp/current" | wc -l) converted (damaged and protected ones fail in both runs)"
cpu() { awk -F'\t' '$1 == "office_cpu_ms_per_doc" {print $2}' "$1"; }
echo "office CPU per document: current $(cpu "$tmp/current.txt") ms, with $* $(cpu "$tmp/candidate.txt") ms (median of 3 rounds)"

differ=0
compared=0
for book in "${books[@]}"; do
  name=$(basename "${book%.*}").pdf
  a="$tmp/current/$name" b="$tmp/candidate/$name"
  if [ ! -s "$a" ] && [ ! -s "$b" ]; then continue; fi
  if [ ! -s "$a" ] || [ ! -s "$b" ]; then echo "written in one run only: $name"; differ=1; continue; fi
  compared=$((compared + 1))
  pa=$(pdfinfo "$a" | awk '/^Pages:/ {print $2}'); pb=$(pdfinfo "$b" | awk '/^Pages:/ {print $2}')
  if [ "$pa" != "$pb" ]; then echo "pages differ: $name ($pa, $pb)"; differ=1; continue; fi
  if ! cmp -s <(pdftotext -layout "$a" -) <(pdftotext -layout "$b" -); then echo "text differs: $name"; differ=1; fi
done
if [ $differ = 0 ]; then echo "same output: $compared PDFs, same pages and text"; else echo "the output differs"; fi
exit $differ
