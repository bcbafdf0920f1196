#!/usr/bin/env bash
# Renders the README's pictures under docs/ in one run, from the simulated sensor under a
# virtual display: the live view with the receiver health readout, a picked region with its
# table, a measurement with the ruler, the last frames drawn together, the colour bar of the
# azimuth colours, a capture replay, a PCD replay, the laser configuration dialog and two sensors on
# one data port (a second simulator, started by kv-screenshot). Everything goes over loopback; the simulator streams data off port 2368
# and nothing is ever sent to it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target kv-screenshot kv-sensor-sim
data=47368; equip=47369
work=$(mktemp -d /tmp/kv-screenshot.XXXXXX)
sim=
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# The pictures' sensor names and poses stay out of the user's sensors.ini.
export XDG_CONFIG_HOME="$work/config"
# A capture of eight simulated seconds for the replay pictures.
build/bin/kv-sensor-sim --pcap "$work/drive.pcap" --seconds 8 --seed 7 >/dev/null
build/bin/kv-sensor-sim --dest 127.0.0.1 --data-port $data --equip-port $equip --bind-port 0 --seconds 120 &
sim=$!
mkdir -p docs
xvfb-run -a -s "-screen 0 1280x800x24" \
    build/bin/kv-screenshot docs $data $equip "$work/drive.pcap" "$work/pcd"
