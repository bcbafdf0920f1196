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
# The viewer's line type for the simulated sensor's four lines (see below): 2 unless chosen.
line_type=${KV_LINE_TYPE:-2}
case $line_type in
1 | 2 | 3 | 4) ;;
*)
    echo "run.sh: KV_LINE_TYPE is '$line_type'; give 1 (four flat lines), 2, 3 or 4 (four tilted lines)" >&2
    exit 2
    ;;
esac

. scripts/deps.sh
kv_install_missing "${KV_BUILD_PACKAGES[@]}"

# PCL's package configuration says on every configure that its PNG features are off; the
# viewer uses none of them. Anything else the configure step says is shown.
configure_log=$(cmake -S . -B build -DCMAKE_BUILD_TYPE=Release 2>&1 >/dev/null) || {
    printf '%s\n' "$configure_log" >&2
    exit 1
}
configure_log=$(printf '%s\n' "$configure_log" | grep -v "io features related to png will be disabled" || true)
[ -z "$configure_log" ] || printf '%s\n' "$configure_log" >&2
cmake --build build -j"$(nproc)" --target kv-cloudscope kv-sensor-sim

# The sensor streams to the viewer's default ports. Its configuration listener would take
# port 2368, which is the viewer's data port on this machine, so it stays off here.
build/bin/kv-sensor-sim --dest 127.0.0.1 --data-port 2368 --equip-port 2369 --bind-port 0 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT

# The simulated sensor sends four lines. The viewer's default settings draw one flat line, so
# it starts here with a config.ini of this script's own, found through XDG_CONFIG_HOME: tilted
# lines (line type 2, or KV_LINE_TYPE=1..4) with all four lines offered. A config.ini beside
# build/bin/kv-cloudscope would still come first.
config_home=$PWD/build/run-config
mkdir -p "$config_home/kv-cloudscope"
cat >"$config_home/kv-cloudscope/config.ini" <<EOF
[Config]
LidarLineType=$line_type
HPandT=2.5
showPLSAngle=false
AngleShowValue=-1
isProductionUsed=false
LineShowNumber=4
EOF

# Run-time images are looked up under ./Resources/images/ relative to the working directory.
XDG_CONFIG_HOME=$config_home build/bin/kv-cloudscope
