#!/usr/bin/env bash
# Builds KV CloudScope, starts the simulated sensor and the viewer. Press "Lidar" to see the
# live cloud. Closing the viewer stops the sensor.
set -euo pipefail
cd "$(dirname "$0")"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: no display (DISPLAY is not set). The viewer is a desktop program: run this" >&2
    echo "        from a graphical session, or under a virtual one: xvfb-run -a ./run.sh" >&2
    exit 2
fi

. scripts/deps.sh
kv_install_missing "${KV_BUILD_PACKAGES[@]}"

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target kv-cloudscope kv-sensor-sim

# The sensor streams to the viewer's default ports. Its configuration listener would take
# port 2368, which is the viewer's data port on this machine, so it stays off here.
build/bin/kv-sensor-sim --dest 127.0.0.1 --data-port 2368 --equip-port 2369 --bind-port 0 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT

# Run-time images are looked up under ./Resources/images/ relative to the working directory.
build/bin/kv-cloudscope
