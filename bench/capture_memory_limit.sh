#!/bin/sh
# Opens and plays a capture of about 4 GB under a memory limit of 1 GB: kv-export walks every
# packet of it (the CSV keeps few rows) inside a memory cgroup of that size, and the script
# reports the cgroup's peak use and whether the limit was hit. Needs root; uses
# `systemd-run --scope -p MemoryMax=1G` where systemd runs, a cgroup (v2 or v1) directly
# otherwise.
#
#   bench/capture_memory_limit.sh [BUILD_DIR] [CAPTURE]
# The capture defaults to /tmp/kv_bench_capture_4g.pcap, written by bench_capture's
# BM_Replay4GPeakMemory (or by kv-sensor-sim --pcap F --pps 80000 --seconds 40). Delete it after.
set -eu
build=${1:-build}
capture=${2:-/tmp/kv_bench_capture_4g.pcap}
limit=$((1024 * 1024 * 1024))
csv=$(mktemp /tmp/kv_limit_XXXXXX.csv)
trap 'rm -f "$csv"' EXIT
[ -f "$capture" ] || "$build/bin/kv-sensor-sim" --pcap "$capture" --pps 80000 --seconds 40 --seed 1
export_cmd="$build/bin/kv-export --csv $csv --lines 0 --max-angle 0.5 $capture"
echo "capture: $capture ($(du -h "$capture" | cut -f1)), memory limit 1 GiB"

if systemd-run --scope -p MemoryMax=1G true >/dev/null 2>&1; then
    systemd-run --scope -p MemoryMax=1G $export_cmd
    exit $?
fi
if [ -f /sys/fs/cgroup/cgroup.controllers ]; then
    cg=/sys/fs/cgroup/kv_limit_$$
    mkdir "$cg"
    echo "$limit" >"$cg/memory.max"
    status=0
    sh -c "echo \$\$ >$cg/cgroup.procs && exec $export_cmd" || status=$?
    echo "cgroup v2: peak $(cat "$cg/memory.peak" 2>/dev/null || echo '?') bytes; events: $(tr '\n' ' ' <"$cg/memory.events")"
    rmdir "$cg"
else
    cg=/sys/fs/cgroup/memory/kv_limit_$$
    mkdir "$cg"
    echo "$limit" >"$cg/memory.limit_in_bytes"
    status=0
    sh -c "echo \$\$ >$cg/cgroup.procs && exec $export_cmd" || status=$?
    echo "cgroup v1: peak $(cat "$cg/memory.max_usage_in_bytes") bytes (page cache included)," \
         "limit hit $(cat "$cg/memory.failcnt") times"
    rmdir "$cg"
fi
echo "kv-export exit status: $status"
exit "$status"
