#!/usr/bin/env bash
# Renders docs/screenshot.png: the live view of the simulated sensor with the measuring grid,
# under a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target kv-screenshot kv-sensor-sim
data=47368; equip=47369
build/bin/kv-sensor-sim --dest 127.0.0.1 --data-port $data --equip-port $equip --bind-port 0 --seconds 20 &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
mkdir -p docs
xvfb-run -a -s "-screen 0 1280x800x24" build/bin/kv-screenshot docs/screenshot.png $data $equip 4
