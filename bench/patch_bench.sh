#!/usr/bin/env bash
# Patching benchmark: what an update of a changed big file costs with chunk indexes, against the
# whole-file download in the same run, under Wine against nginx on loopback.
#   bytes    - bytes on the wire (nginx's access log) for a change of C bytes in a big file: an
#              overwrite in the middle, an insert near the start, an append; goal 2*C + 1 MiB
#   resume   - a first download killed part way; bytes the next run fetches against the rest of the
#              file plus the ranges that were in flight
#   time     - a 1 % change: the patch against the whole download, on loopback and on a link of
#              100 Mbit/s (nginx limit_rate, shared by the connections); goals: no slower, 20x sooner
#   memory   - peak working set while patching a 4 GiB file; goal under 64 MiB
#   publish  - the publisher's time for the same tree with and without chunk indexes; goal +30 % at most
# Every figure is printed with its baseline from the same run; timings run `rounds` times and the
# summary gives their spread.
#
#   bench/patch_bench.sh [build folder] [rounds] [cases]     (defaults: build, 3, "publish bytes resume time memory")
set -euo pipefail
QV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QV_BUILD=$(cd "${1:-$QV_ROOT/build}" 2>/dev/null && pwd || echo "${1:-$QV_ROOT/build}")
rounds=${2:-3}
cases=${3:-publish bytes resume time memory}
source "$QV_ROOT/scripts/lib/nginx.sh"
source "$QV_ROOT/scripts/lib/game.sh"

"$QV_ROOT/scripts/setup"
[ -f "$QV_BUILD/CMakeCache.txt" ] || cmake -S "$QV_ROOT" -B "$QV_BUILD" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$QV_ROOT/cmake/mingw-w64-x86_64.cmake" -DQORVANE_DEVELOPMENT_KEY=ON >/dev/null
cmake --build "$QV_BUILD" --target download_bench qorvane_publisher >/dev/null
prefix=$QV_BUILD/wineprefix
bench_exe=$QV_BUILD/bench/download_bench.exe

work=$(mktemp -d /tmp/qv-patch-bench.XXXXXX)
cleanup() {
  qv_nginx_stop "$work/nginx"
  rm -rf "$work"
}
trap cleanup EXIT
qv_wine "$prefix" wineserver -p >/dev/null 2>&1 || true

load() { cut -d' ' -f1-3 /proc/loadavg; }
ratio() { echo "scale=3; $1 / $2" | bc -l | sed 's/^\./0./'; }
record() { echo "$1 $2" >>"$work/results"; }  # NAME VALUE, collected for the summary
: >"$work/results"
spread() {  # NAME -> "min–max" over the rounds
  awk -v n="$1" '$1 == n { v = $2 + 0; if (c++ == 0 || v < lo) lo = v; if (c == 1 || v > hi) hi = v }
                 END { if (c) printf "%.2f–%.2f", lo, hi }' "$work/results"
}

# Deterministic pseudo-random bytes (so a change can be applied to a copy): SIZE SEED > file.
generate() {
  { openssl enc -aes-128-ctr -nosalt -pass "pass:$2" -pbkdf2 -in /dev/zero 2>/dev/null || true; } | head -c "$1"
}

# Seconds the publisher reports for itself (its summary line ends in "N sn").
publish_seconds() {  # GAME WWW [options]
  local game=$1 www=$2
  shift 2
  rm -rf "$www"
  qv_publish "$prefix" "$game" "$www" 1 --sessiz "$@" | tr -d '\r' | tee "$work/publish.out" |
    awk '/^yayinlandi/ { print $(NF - 1) }'
}

case_publish() {
  echo
  echo "== publish: the same tree with and without chunk indexes (goal: indexing adds at most 30 %)"
  mkdir -p "$work/pub/big/pack" "$work/pub/mixed/pack"
  generate 1073741824 big >"$work/pub/big/pack/büyük arşiv.epk"
  local i
  for i in $(seq 1 8); do generate 67108864 "m$i" >"$work/pub/mixed/pack/orta $i.epk"; done
  for i in $(seq 1 200); do generate $((262144 + i * 4099)) "s$i" >"$work/pub/mixed/pack/küçük $i.dat"; done
  sync
  local tree round with without
  for round in $(seq "$rounds"); do
    for tree in big mixed; do
      echo "   load before: $(load)"
      without=$(publish_seconds "$work/pub/$tree" "$work/pub/www-$tree" --dizinsiz)
      with=$(publish_seconds "$work/pub/$tree" "$work/pub/www-$tree")
      printf '   round %d, %-6s without indexes %6.1f s, with %6.1f s, ratio %s\n' "$round" "$tree" \
        "$without" "$with" "$(ratio "$with" "$without")"
      record "publish.$tree.without" "$without"
      record "publish.$tree.with" "$with"
      record "publish.$tree.ratio" "$(ratio "$with" "$without")"
    done
  done
  grep '^yayinlandi' "$work/publish.out" | sed 's/^/   last: /'
  rm -rf "$work/pub"
}

for c in $cases; do
  "case_$c"
done

echo
echo "== summary over $rounds rounds (load at the end: $(load))"
if grep -q '^publish\.' "$work/results"; then
  printf '| publish | without indexes (s) | with indexes (s) | with / without (goal <= 1.30) |\n|---|---|---|---|\n'
  for tree in big mixed; do
    printf '| %s | %s | %s | %s |\n' "$tree" "$(spread "publish.$tree.without")" "$(spread "publish.$tree.with")" \
      "$(spread "publish.$tree.ratio")"
  done
fi
