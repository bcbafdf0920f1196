#!/usr/bin/env bash
# Draws the button images and the application icon into Resources/images/, writes
# Resources/resources.qrc, checks the compiled-in resources and writes a contact sheet of all
# images to build-icons/contact_sheet.png (not part of the sources).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KV_ICONS_BUILD:-$root/build-icons}"
jobs="${KV_JOBS:-2}"

cmake -S "$root" -B "$build" -DKV_WITH_GUI=OFF -DKV_BUILD_BENCH=OFF -DKV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target kv-icon-gen -j "$jobs"
QT_QPA_PLATFORM=offscreen "$build/bin/kv-icon-gen" "$root/Resources/images" \
    --qrc "$root/Resources/resources.qrc" --sheet "$build/contact_sheet.png"
cmake --build "$build" --target kv-icon-check -j "$jobs"
QT_QPA_PLATFORM=offscreen "$build/bin/kv-icon-check"
echo "contact sheet: $build/contact_sheet.png"
