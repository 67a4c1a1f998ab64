#!/usr/bin/env bash
# Sets everything up, builds the program (only the program: no tests or
# benchmarks), and converts the sample workbooks in examples/ unattended.
# Prints where the PDF files and the run log went.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh" --target tabrix
build=${TABRIX_BUILD_DIR:-"$root/build"}
out=${1:-"$root/examples-output"}
mkdir -p "$out"
"$build/bin/tabrix" "/P:PureConsole=True;Subdir=True;Source=$root/examples/*.xls?;Target=$out;LogFile=$out/run.log"
echo "Converted files: $out"
echo "Run log:         $out/run.log"
cat "$out/run.log"
