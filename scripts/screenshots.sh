#!/usr/bin/env bash
# Renders the main window, the about box and the Config dialog into
# docs/main-window.png, docs/about-box.png and docs/config-dialog.png on Qt's
# offscreen platform (no display needed), and at 200% scale into the same
# names with @2x.
# Usage: scripts/screenshots.sh [build folder]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-"$root/build"}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DTABRIX_BUILD_UI=ON >/dev/null
fi
cmake --build "$build" --target tabrix_screenshots
QT_QPA_PLATFORM=offscreen "$build/tests/tabrix_screenshots" "$root/docs"
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 "$build/tests/tabrix_screenshots" "$root/docs" @2x
echo "written: $root/docs/main-window.png $root/docs/about-box.png $root/docs/config-dialog.png (and @2x at 200%)"
