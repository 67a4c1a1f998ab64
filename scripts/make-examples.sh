#!/usr/bin/env bash
# Regenerates the sample workbooks in examples/ from scripts/make-examples.c
# (xlsx with libxlsxwriter; the .xls and .xlsm copies by LibreOffice itself).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cc "$root/scripts/make-examples.c" -lxlsxwriter -o "$tmp/make-examples"
mkdir -p "$root/examples/warehouse"
"$tmp/make-examples" "$root/examples"
profile="file://$tmp/profile"
soffice -env:UserInstallation="$profile" --headless --convert-to xls:"MS Excel 97" \
  --outdir "$tmp/out" "$root/examples/quarterly-sales.xlsx" >/dev/null
mv "$tmp/out/quarterly-sales.xls" "$root/examples/budget-archive.xls"
soffice -env:UserInstallation="$profile" --headless \
  --convert-to xlsm:"Calc MS Excel 2007 VBA XML" --outdir "$tmp/out" \
  "$root/examples/warehouse/inventory.xlsx" >/dev/null
mv "$tmp/out/inventory.xlsm" "$root/examples/warehouse/inventory-macros.xlsm"
ls -la "$root/examples" "$root/examples/warehouse"
