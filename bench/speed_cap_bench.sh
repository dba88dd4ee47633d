#!/usr/bin/env bash
# Speed cap benchmark against nginx on loopback: a game of one large file (fetched in ranges over
# several connections) and eight small ones, sized to last about SECONDS at the cap, downloaded by
# the engine with "QORVANE_HIZ" set (bench/speed_cap_bench.cpp). Prints the lowest and the highest
# average over any 10 s of the download against the cap (goal: within 5 %), and for reference the
# same game fetched without a cap. scripts/setup installs what is missing (nginx-light).
#
#   bench/speed_cap_bench.sh [build folder] [cap KiB/s] [seconds] [connections]   (build, 5120, 40, 6)
set -euo pipefail
QV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QV_BUILD=$(cd "${1:-$QV_ROOT/build}" 2>/dev/null && pwd || echo "${1:-$QV_ROOT/build}")
cap=${2:-5120}
seconds=${3:-40}
conns=${4:-6}
source "$QV_ROOT/scripts/lib/nginx.sh"
source "$QV_ROOT/scripts/lib/game.sh"

"$QV_ROOT/scripts/setup"
[ -f "$QV_BUILD/CMakeCache.txt" ] || cmake -S "$QV_ROOT" -B "$QV_BUILD" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$QV_ROOT/cmake/mingw-w64-x86_64.cmake" -DQORVANE_DEVELOPMENT_KEY=ON >/dev/null
cmake --build "$QV_BUILD" --target speed_cap_bench qorvane_publisher >/dev/null
prefix=$QV_BUILD/wineprefix
bench_exe=$QV_BUILD/bench/speed_cap_bench.exe

work=$(mktemp -d /tmp/qv-speed-cap-bench.XXXXXX)
cleanup() {
  qv_nginx_stop "$work/nginx"
  rm -rf "$work"
}
trap cleanup EXIT

total=$((cap * 1024 * seconds))
small=$((total / 32))
qv_random_file "$work/game/pack/büyük.epk" $((total - 8 * small))
for i in 1 2 3 4 5 6 7 8; do qv_random_file "$work/game/pack/küçük $i.dat" "$small"; done
qv_publish "$prefix" "$work/game" "$work/www" 1 --sessiz >/dev/null
sync
qv_nginx_start "$work/nginx" "$work/www"
base="http://127.0.0.1:$QV_NGINX_PORT/qorvane/pc/"
echo "$((total / 1048576)) MiB at a cap of $cap KiB/s over $conns connections, from $base"

qv_wine "$prefix" "$bench_exe" "$base" "$(qv_winpath "$work/capped")" "$cap" "$conns" | tr -d '\r'
rm -rf "$work/capped"
echo "for reference, without a cap (the line's own speed on loopback):"
qv_wine "$prefix" "$bench_exe" "$base" "$(qv_winpath "$work/free")" 0 "$conns" | tr -d '\r' | grep -E 'average|phase'
