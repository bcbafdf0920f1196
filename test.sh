#!/usr/bin/env bash
# Builds KV CloudScope and runs every test headless: the core tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the whole suite (window tests under Xvfb).
set -uo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
kv_install_missing "${KV_BUILD_PACKAGES[@]}" "${KV_TEST_PACKAGES[@]}" || exit 1
jobs=$(nproc)

set -e
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKV_WITH_GUI=OFF -DKV_SANITIZE=ON -DKV_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"
echo "== Debian package =="
(cd build && cpack -G DEB)  # checked by package_deb_test below
set +e

echo "== Core tests with AddressSanitizer + UndefinedBehaviorSanitizer =="
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest -L core --output-on-failure)
asan=$?

echo "== All tests =="
(cd build && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure)
full=$?

[ $asan -eq 0 ] || echo "test.sh: the sanitizer run failed" >&2
[ $asan -eq 0 ] && [ $full -eq 0 ]
