#!/usr/bin/env bash
# Renders the main window and the about box into docs/main-window.png and
# docs/about-box.png on Qt's offscreen platform (no display needed), and at
# 200% scale into docs/main-window@2x.png and docs/about-box@2x.png.
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
echo "written: $root/docs/main-window.png $root/docs/about-box.png (and @2x at 200%)"
