#!/usr/bin/env bash
# Renders the main window and the about box into docs/main-window.png and
# docs/about-box.png on Qt's offscreen platform (no display needed).
# Usage: scripts/screenshots.sh [build folder]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-"$root/build"}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DTABRIX_BUILD_UI=ON >/dev/null
fi
cmake --build "$build" --target tabrix_screenshots
QT_QPA_PLATFORM=offscreen "$build/tests/tabrix_screenshots" "$root/docs"
echo "written: $root/docs/main-window.png $root/docs/about-box.png"
