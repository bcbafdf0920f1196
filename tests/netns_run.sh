#!/bin/sh
# Runs a test program in a network namespace of its own, with only the loopback interface up,
# so that nothing it sends can leave the machine. Exits 77 (CTest's skip) with the reason when
# no namespace can be made (it needs root or CAP_SYS_ADMIN, and the unshare and ip programs).
if ! command -v unshare >/dev/null 2>&1 || ! command -v ip >/dev/null 2>&1; then
    echo "SKIPPED: a loopback-only network namespace needs the unshare and ip programs" >&2
    exit 77
fi
if ! unshare --net true 2>/dev/null; then
    echo "SKIPPED: cannot make a network namespace here (needs root or CAP_SYS_ADMIN); CI runs as root" >&2
    exit 77
fi
exec unshare --net sh -c 'ip link set lo up && exec "$@"' sh "$@"
