#!/usr/bin/env bash
# Builds and runs the hashing and quick-scan benchmark under Wine with the build folder's prefix.
#   bench/run-hash-scan.sh [build folder] [hash MiB] [files]    (defaults: build, 1024, 20000)
# The work files go to /tmp (as Z:\tmp) and are removed afterwards.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" 2>/dev/null && pwd || echo "${1:-$root/build}")
"$root/scripts/setup"
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DQORVANE_DEVELOPMENT_KEY=ON >/dev/null
cmake --build "$build" --target hash_scan_bench >/dev/null
work=$(mktemp -d /tmp/qv-hash-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
QORVANE_WINEPREFIX="$build/wineprefix" "$root/cmake/wine-run.sh" "$build/bench/hash_scan_bench.exe" \
  "Z:${work//\//\\}" "${2:-1024}" "${3:-20000}"
