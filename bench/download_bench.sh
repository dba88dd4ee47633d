#!/usr/bin/env bash
# Download benchmark against nginx on loopback: 200 files of 1 MiB, then one file of 1 GiB, each
# fetched by the launcher's engine (bench/download_bench.cpp under Wine), by aria2c with the same
# number of connections, and (the large file) by curl in one stream. Also prints the engine's peak
# memory during the 1 GiB run. scripts/setup installs what is missing (nginx-light, aria2, curl, bc).
#
#   bench/download_bench.sh [build folder] [connections]     (defaults: build, 6)
set -euo pipefail
QV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QV_BUILD=$(cd "${1:-$QV_ROOT/build}" 2>/dev/null && pwd || echo "${1:-$QV_ROOT/build}")
conns=${2:-6}
source "$QV_ROOT/scripts/lib/nginx.sh"
source "$QV_ROOT/scripts/lib/game.sh"

"$QV_ROOT/scripts/setup"
[ -f "$QV_BUILD/CMakeCache.txt" ] || cmake -S "$QV_ROOT" -B "$QV_BUILD" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$QV_ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$QV_BUILD" --target download_bench qorvane_publisher >/dev/null
prefix=$QV_BUILD/wineprefix

work=$(mktemp -d /tmp/qv-download-bench.XXXXXX)
cleanup() {
  qv_nginx_stop "$work/nginx"
  rm -rf "$work"
}
trap cleanup EXIT

seconds() {  # runs a command, prints its wall time in seconds
  local start end
  start=$(date +%s.%N)
  "$@" >"$work/last.out" 2>&1 || { cat "$work/last.out" >&2; return 1; }
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
rate() { echo "scale=1; $1 / 1048576 / $2" | bc -l; }

echo "generating and publishing the trees in $work"
for i in $(seq -w 1 200); do qv_random_file "$work/many/pack/dosya $i.dat" 1048576; done
qv_random_file "$work/large/pack/büyük arşiv.epk" 1073741824
qv_publish "$prefix" "$work/many" "$work/www/many" 1 --sessiz >/dev/null
qv_publish "$prefix" "$work/large" "$work/www/large" 1 --sessiz >/dev/null
qv_nginx_start "$work/nginx" "$work/www"
base="http://127.0.0.1:$QV_NGINX_PORT"
echo "nginx on $base, $conns connections"

objects() {  # URLs of every object of a published tree
  local tree=$1
  (cd "$work/www/$tree" && find qorvane/pc/obj -type f | sort | sed "s|^|$base/$tree/|")
}

run_case() {  # NAME TREE BYTES
  local name=$1 tree=$2 bytes=$3 t
  echo
  echo "== $name ($bytes bytes)"
  rm -rf "$work/out" && mkdir -p "$work/out"
  qv_wine "$prefix" wineserver -p >/dev/null 2>&1 || true
  t=$(seconds qv_wine "$prefix" "$QV_BUILD/bench/download_bench.exe" "$base/$tree/qorvane/pc/" \
        "$(qv_winpath "$work/out/engine")" "$conns")
  sed 's/^/   engine: /' "$work/last.out"
  printf '%-34s %7.2f s  %7s MiB/s\n' "engine, whole run (process start included)" "$t" "$(rate "$bytes" "$t")"

  objects "$tree" >"$work/urls.txt"
  if [ "$(wc -l <"$work/urls.txt")" -gt 1 ]; then
    t=$(seconds aria2c -q -j"$conns" -x1 -d "$work/out/aria2" -i "$work/urls.txt" --allow-overwrite=true \
          --file-allocation=none --auto-file-renaming=false --check-certificate=false)
    printf '%-34s %7.2f s  %7s MiB/s\n' "aria2c -j$conns" "$t" "$(rate "$bytes" "$t")"
  else
    t=$(seconds aria2c -q -x"$conns" -s"$conns" -k16M -d "$work/out/aria2" -i "$work/urls.txt" \
          --file-allocation=prealloc --allow-overwrite=true)
    printf '%-34s %7.2f s  %7s MiB/s\n' "aria2c -x$conns -s$conns" "$t" "$(rate "$bytes" "$t")"
    t=$(seconds curl -s -o "$work/out/curl.bin" "$(head -1 "$work/urls.txt")")
    printf '%-34s %7.2f s  %7s MiB/s\n' "curl (one stream)" "$t" "$(rate "$bytes" "$t")"
    echo "   where the engine's time goes, one stream under Wine:"
    qv_wine "$prefix" "$QV_BUILD/bench/download_bench.exe" --ayrinti "$base/$tree/qorvane/pc/" \
      "$(cd "$work/www/$tree/qorvane/pc" && find obj -type f | head -1)" "$(qv_winpath "$work/out/ayrinti.bin")" |
      sed 's/^/   /'
  fi
}

run_case "200 x 1 MiB" many $((200 * 1048576))
run_case "one 1 GiB file" large 1073741824
