#!/usr/bin/env bash
# Renders the images of Resources/icons/*.svg (rsvg-convert, at build time) and copies them into
# Resources/images/, where the viewer reads them when started in the source tree (run.sh), then
# checks the compiled-in resources against those copies and writes a contact sheet of all images
# to build-icons/contact_sheet.png (not part of the sources). Run it after editing an SVG file.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KV_ICONS_BUILD:-$root/build-icons}"
jobs="${KV_JOBS:-2}"

cmake -S "$root" -B "$build" -DKV_WITH_GUI=OFF -DKV_BUILD_BENCH=OFF -DKV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target kv-icon-check -j "$jobs"
cp "$build"/Resources/images/*.png "$build"/Resources/images/korvane.ico "$root/Resources/images/"
QT_QPA_PLATFORM=offscreen "$build/bin/kv-icon-check" --compare "$root/Resources/images" \
    --sheet "$build/contact_sheet.png"
echo "contact sheet: $build/contact_sheet.png"
