#!/usr/bin/env bash
# Download benchmark against nginx on loopback: 200 files of 1 MiB, then one file of 1 GiB, each
# fetched in the same round by
#   - the launcher's engine (bench/download_bench.cpp under Wine): list, signature, scan, download,
#     verification and commit; its download stage is timed from the status it publishes;
#   - aria2c with the same number of connections and a SHA-256 check of every file
#     (an input file with a "checksum=sha-256=..." line per file): the same work, natively;
#   - a bare WinHTTP loop under Wine with the same connections and ranges, writing to disk;
#   - a bare CNG loop under Wine hashing the same bytes;
#   - for the large file, both bare loops started together.
# For the large file the platform's limit is the larger of the bare transfer and the bare hash; the
# two together show what is left of it when they share the machine's processors. Each
# round prints the machine's load, every figure and the ratios; the summary gives their spread.
# scripts/setup installs what is missing (nginx-light, aria2, curl, bc).
#
#   bench/download_bench.sh [build folder] [connections] [rounds]     (defaults: build, 6, 3)
set -euo pipefail
QV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QV_BUILD=$(cd "${1:-$QV_ROOT/build}" 2>/dev/null && pwd || echo "${1:-$QV_ROOT/build}")
conns=${2:-6}
rounds=${3:-3}
source "$QV_ROOT/scripts/lib/nginx.sh"
source "$QV_ROOT/scripts/lib/game.sh"

"$QV_ROOT/scripts/setup"
[ -f "$QV_BUILD/CMakeCache.txt" ] || cmake -S "$QV_ROOT" -B "$QV_BUILD" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$QV_ROOT/cmake/mingw-w64-x86_64.cmake" -DQORVANE_DEVELOPMENT_KEY=ON >/dev/null
cmake --build "$QV_BUILD" --target download_bench qorvane_publisher >/dev/null
prefix=$QV_BUILD/wineprefix
bench_exe=$QV_BUILD/bench/download_bench.exe

work=$(mktemp -d /tmp/qv-download-bench.XXXXXX)
cleanup() {
  qv_nginx_stop "$work/nginx"
  rm -rf "$work"
}
trap cleanup EXIT

echo "generating and publishing the trees in $work"
for i in $(seq -w 1 200); do qv_random_file "$work/many/pack/dosya $i.dat" 1048576; done
qv_random_file "$work/large/pack/büyük arşiv.epk" 1073741824
qv_publish "$prefix" "$work/many" "$work/www/many" 1 --sessiz >/dev/null
qv_publish "$prefix" "$work/large" "$work/www/large" 1 --sessiz >/dev/null
# Two GiB just written would otherwise reach the disk in the middle of the first round.
sync
qv_nginx_start "$work/nginx" "$work/www"
base="http://127.0.0.1:$QV_NGINX_PORT"
echo "nginx on $base, $conns connections, $rounds rounds"
qv_wine "$prefix" wineserver -p >/dev/null 2>&1 || true

# Per tree: the bare loop's object list, aria2c's input file (objects are named by their SHA-256,
# so the name is the checksum) and the objects' paths for the bare hash.
for tree in many large; do
  (cd "$work/www/$tree/qorvane/pc" && find obj -type f | sort) >"$work/$tree.objects"
  : >"$work/$tree.bare"
  : >"$work/$tree.aria2"
  : >"$work/$tree.paths"
  while IFS= read -r object; do
    name=${object##*/}
    echo "$object $(stat -c %s "$work/www/$tree/qorvane/pc/$object")" >>"$work/$tree.bare"
    printf '%s\n  out=%s\n  checksum=sha-256=%s\n' "$base/$tree/qorvane/pc/$object" "$name" "$name" \
      >>"$work/$tree.aria2"
    qv_winpath "$work/www/$tree/qorvane/pc/$object" >>"$work/$tree.paths"
  done <"$work/$tree.objects"
done

seconds() {  # runs a command, prints its wall time in seconds; its output goes to $work/last.out
  local start end
  start=$(date +%s.%N)
  "$@" >"$work/last.out" 2>&1 || { cat "$work/last.out" >&2; return 1; }
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
# Wine's console output ends its lines with CR LF.
figure() { tr -d '\r' <"$work/last.out" | awk -v n="$1" '$1 == "figure:" && $2 == n { print $3 }'; }
ratio() { echo "scale=3; $1 / $2" | bc -l | sed 's/^\./0./'; }
max() { if [ "$(echo "$1 > $2" | bc -l)" = 1 ]; then echo "$1"; else echo "$2"; fi; }
load() { cut -d' ' -f1-3 /proc/loadavg; }
record() { echo "$1 $2" >>"$work/results"; }  # NAME VALUE, collected for the summary
: >"$work/results"

bare_together() {  # TREE: the bare transfer and the bare hash of the served objects, started together
  local pid status=0 paths
  qv_wine "$prefix" "$bench_exe" --yalin "$base/$1/qorvane/pc/" "$(qv_winpath "$work/$1.bare")" \
    "$(qv_winpath "$work/out/bare")" "$conns" & pid=$!
  mapfile -t paths <"$work/$1.paths"
  qv_wine "$prefix" "$bench_exe" --cng "${paths[@]}" || status=1
  wait "$pid" || status=1
  return $status
}

run_case() {  # TREE ROUND
  local tree=$1 round=$2 engine aria2 bare hash bare_cpu hash_cpu stage last verified cpu peak limit args
  rm -rf "$work/out" && mkdir -p "$work/out"
  echo "   load before: $(load)"
  qv_wine "$prefix" "$bench_exe" --yalin "$base/$tree/qorvane/pc/" "$(qv_winpath "$work/$tree.bare")" \
    "$(qv_winpath "$work/out/bare")" "$conns" >"$work/last.out" 2>&1 || { cat "$work/last.out" >&2; return 1; }
  bare=$(figure bare_transfer)
  bare_cpu=$(figure bare_transfer_processor)
  rm -rf "$work/out/bare"
  mapfile -t args <"$work/$tree.paths"
  qv_wine "$prefix" "$bench_exe" --cng "${args[@]}" >"$work/last.out" 2>&1 || { cat "$work/last.out" >&2; return 1; }
  hash=$(figure bare_hash)
  hash_cpu=$(figure bare_hash_processor)

  # Both bare loops at once, as the engine has to run them: where processors are few the transfer
  # and the hash compete, so this, not the larger of the two alone, is what such a machine can reach.
  together=
  if [ "$tree" = large ]; then
    together=$(seconds bare_together "$tree")
    rm -rf "$work/out/bare"
  fi

  if [ "$tree" = many ]; then
    aria2=$(seconds aria2c -q -j"$conns" -x1 -d "$work/out/aria2" -i "$work/$tree.aria2" --allow-overwrite=true \
              --file-allocation=none --auto-file-renaming=false)
  else
    aria2=$(seconds aria2c -q -j1 -x"$conns" -s"$conns" -k16M -d "$work/out/aria2" -i "$work/$tree.aria2" \
              --allow-overwrite=true --file-allocation=prealloc --auto-file-renaming=false)
  fi
  rm -rf "$work/out/aria2"

  qv_wine "$prefix" "$bench_exe" "$base/$tree/qorvane/pc/" "$(qv_winpath "$work/out/engine")" "$conns" \
    >"$work/last.out" 2>&1 || { cat "$work/last.out" >&2; return 1; }
  tr -d '\r' <"$work/last.out" | grep '^log: ' | sed 's/^/   engine /'
  stage=$(figure stage)
  last=$(figure last_byte)
  verified=$(figure verified)
  cpu=$(figure stage_processor)
  peak=$(figure peak_working_set_mib)
  rm -rf "$work/out/engine"
  echo "   load after:  $(load)"

  printf '   %-44s %7.2f s\n' "engine download stage" "$stage" \
    "  of which until the last byte arrived" "$last" \
    "  of which after it (verifying, placing)" "$(echo "$stage - $last" | bc -l)" \
    "  processor time in the stage (this process)" "$cpu" \
    "aria2c with SHA-256 checks" "$aria2" \
    "bare WinHTTP loop, same connections, writes" "$bare" \
    "  processor time (that process)" "$bare_cpu" \
    "bare CNG hash of the same bytes, one thread" "$hash" \
    "  processor time (that process)" "$hash_cpu"
  [ -z "$together" ] || printf '   %-44s %7.2f s\n' "both bare loops at once" "$together"
  printf '   %-44s %7.1f MiB\n' "engine peak working set" "$peak"
  record "$tree.engine" "$stage"
  record "$tree.aria2" "$aria2"
  record "$tree.bare" "$bare"
  record "$tree.hash" "$hash"
  record "$tree.peak" "$peak"
  record "$tree.aria2_ratio" "$(ratio "$aria2" "$stage")"
  record "$tree.bare_ratio" "$(ratio "$bare" "$stage")"
  if [ "$tree" = large ]; then
    limit=$(max "$bare" "$hash")
    record "$tree.limit_ratio" "$(ratio "$limit" "$stage")"
    record "$tree.together" "$together"
    record "$tree.together_ratio" "$(ratio "$together" "$stage")"
    echo "   ratios: platform limit / engine $(ratio "$limit" "$stage") (limit $limit s)," \
      "both bare loops at once / engine $(ratio "$together" "$stage")," \
      "aria2c / engine $(ratio "$aria2" "$stage")"
  else
    echo "   ratios: aria2c / engine $(ratio "$aria2" "$stage"), bare WinHTTP / engine $(ratio "$bare" "$stage")"
  fi
}

for round in $(seq "$rounds"); do
  echo
  echo "== round $round: 200 x 1 MiB"
  run_case many "$round"
  echo "== round $round: one 1 GiB file (64 ranges)"
  run_case large "$round"
done

spread() {  # NAME -> "min–max" over the rounds
  awk -v n="$1" '$1 == n { v = $2 + 0; if (c++ == 0 || v < lo) lo = v; if (c == 1 || v > hi) hi = v }
                 END { if (c) printf "%.2f–%.2f", lo, hi }' "$work/results"
}
echo
echo "== summary over $rounds rounds ($conns connections; load at the end: $(load))"
printf '| case | engine stage (s) | aria2c with SHA-256 (s) | bare WinHTTP (s) | bare CNG (s) | both bare at once (s) | aria2c / engine | limit / engine | both at once / engine | peak working set (MiB) |\n'
printf '|---|---|---|---|---|---|---|---|---|---|\n'
printf '| 200 x 1 MiB | %s | %s | %s | %s | — | %s | — | — | %s |\n' "$(spread many.engine)" "$(spread many.aria2)" \
  "$(spread many.bare)" "$(spread many.hash)" "$(spread many.aria2_ratio)" "$(spread many.peak)"
printf '| 1 GiB (64 ranges) | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n' "$(spread large.engine)" \
  "$(spread large.aria2)" "$(spread large.bare)" "$(spread large.hash)" "$(spread large.together)" \
  "$(spread large.aria2_ratio)" "$(spread large.limit_ratio)" "$(spread large.together_ratio)" "$(spread large.peak)"
