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


# --- the served trees and the engine ------------------------------------------------------------

big_name="pack/büyük arşiv.epk"

# Copies FROM to TO with C bytes of new content: overwrite (in the middle), insert (1 MiB from the
# start) or append.
edit_copy() {  # FROM TO KIND C
  local from=$1 to=$2 kind=$3 c=$4 size
  size=$(stat -c %s "$from")
  mkdir -p "$(dirname "$to")"
  case $kind in
    overwrite)
      cp "$from" "$to"
      generate "$c" "edit$c" | dd of="$to" bs=1M seek=$((size / 2)) oflag=seek_bytes conv=notrunc status=none ;;
    insert)
      { head -c 1048576 "$from"; generate "$c" "edit$c"; tail -c +1048577 "$from"; } >"$to" ;;
    append)
      { cat "$from"; generate "$c" "edit$c"; } >"$to" ;;
  esac
}

# Publishes the folder GAME as the tree served under /NAME/.
publish_tree() {  # GAME NAME
  qv_publish "$prefix" "$1" "$work/www/$2" 1 --sessiz >/dev/null
}

# Serves $work/www; per-connection rate limit in bytes per second (0: none).
serve() {  # RATE
  qv_nginx_stop "$work/nginx"
  rm -rf "$work/nginx"
  qv_nginx_start "$work/nginx" "$work/www"
  if [ "$1" != 0 ]; then
    sed -i "s|^\( *\)root \(.*\)$|\1root \2\n\1limit_rate $1;|" "$work/nginx/nginx.conf"
    qv_nginx_stop "$work/nginx"
    qv_nginx_restart "$work/nginx"
  fi
  base="http://127.0.0.1:$QV_NGINX_PORT"
}

# Bytes of object bodies nginx sent since the access log had LINES lines; the list, the signature
# and the news are not counted (they cost the same either way).
object_bytes() {  # LINES
  tail -n +"$(($1 + 1))" "$work/nginx/access.log" | awk '$0 ~ /\/obj\// { for (i = 1; i <= NF; i++) if ($i ~ /^[0-9][0-9][0-9]$/) { s += $(i + 1); break } }
    END { print s + 0 }'
}
log_lines() { wc -l <"$work/nginx/access.log"; }

# One engine run into FOLDER against tree NAME; figures land in $work/last.out.
engine() {  # NAME FOLDER
  qv_wine "$prefix" "$bench_exe" "$base/$1/qorvane/pc/" "$(qv_winpath "$2")" 6 >"$work/last.out" 2>&1 ||
    { cat "$work/last.out" >&2; return 1; }
}
figure() { tr -d '\r' <"$work/last.out" | awk -v n="$1" '$1 == "figure:" && $2 == n { print $3 }'; }
engine_log() { tr -d '\r' <"$work/last.out" | grep '^log: ' | sed 's/^/   engine /'; }

# The player's folder holding FILE as the big file (a hard link where it can: nothing writes it).
player_with() {  # FOLDER FILE
  rm -rf "$1"
  mkdir -p "$1/pack"
  ln "$2" "$1/$big_name" 2>/dev/null || cp "$2" "$1/$big_name"
}

object_of() {  # NAME -> the big file's object in that tree
  local hash
  hash=$(sha256sum "$work/games/$1/$big_name" | cut -d' ' -f1)
  echo "$work/www/$1/qorvane/pc/obj/${hash:0:2}/$hash"
}

bare_hash() {  # FILE -> seconds of a bare CNG hash of it
  qv_wine "$prefix" "$bench_exe" --cng "$(qv_winpath "$1")" | tr -d '\r' | awk '$1 == "figure:" && $2 == "bare_hash" { print $3 }'
}

prepare_v1() {  # MiB
  [ -f "$work/games/v1/$big_name" ] && [ "$(stat -c %s "$work/games/v1/$big_name")" = $(($1 * 1048576)) ] && return
  rm -rf "$work/games" "$work/www"
  mkdir -p "$work/games/v1/pack"
  generate $(($1 * 1048576)) v1 >"$work/games/v1/$big_name"
  publish_tree "$work/games/v1" v1
}

case_bytes() {
  echo
  echo "== bytes on the wire for a change of C bytes in a 1 GiB file (goal: 2*C + 1 MiB, index included)"
  prepare_v1 1024
  serve 0
  printf '   %-10s %10s %14s %14s %14s %10s\n' edit C "on the wire" "goal" "whole file" "ok"
  local kind c lines bytes goal name ok
  for kind in overwrite insert append; do
    for c in 4096 1048576 10737418; do
      name="$kind-$c"
      edit_copy "$work/games/v1/$big_name" "$work/games/$name/$big_name" "$kind" "$c"
      publish_tree "$work/games/$name" "$name"
      player_with "$work/player" "$(object_of v1)"
      lines=$(log_lines)
      engine "$name" "$work/player"
      bytes=$(object_bytes "$lines")
      goal=$((2 * c + 1048576))
      ok=yes; [ "$bytes" -le "$goal" ] || ok=NO
      printf '   %-10s %10s %14s %14s %14s %10s\n' "$kind" "$c" "$bytes" "$goal" \
        "$(stat -c %s "$work/games/$name/$big_name")" "$ok"
      engine_log | grep -i 'indirildi' || true
      record "bytes.$kind.$c" "$bytes"
      cmp -s "$work/player/$big_name" "$work/games/$name/$big_name" || { echo "   the patched file differs" >&2; return 1; }
      rm -rf "$work/games/$name" "$work/www/$name" "$work/player"
    done
  done
}

case_resume() {
  echo
  echo "== resume: a first download of 1 GiB killed part way (goal: the next run fetches at most the rest plus the ranges in flight)"
  prepare_v1 1024
  local share lines bytes1 done1 flight1 bytes2 size temp pid rest
  size=$((1024 * 1048576))
  temp="$work/player/$big_name.indir"
  for share in 30 70; do
    rm -rf "$work/player"
    serve 4194304  # slow enough to stop at a chosen point
    lines=$(log_lines)
    qv_wine "$prefix" "$bench_exe" "$base/v1/qorvane/pc/" "$(qv_winpath "$work/player")" 6 >"$work/run1.out" 2>&1 &
    pid=$!
    while kill -0 "$pid" 2>/dev/null; do
      [ -f "$temp" ] && [ $(($(stat -c %b "$temp") * 512)) -ge $((size * share / 100)) ] && break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    qv_wineserver "$prefix" -k 2>/dev/null || true
    qv_wine "$prefix" wineserver -p >/dev/null 2>&1 || true
    sleep 1  # nginx logs the cut-off requests once it notices the closed connections
    # Ranges that completed, and those in flight when the process died (their requested lengths).
    read -r bytes1 done1 flight1 < <(tail -n +"$((lines + 1))" "$work/nginx/access.log" | awk '/\/obj\// {
        if (match($0, /"bytes=[0-9]+-[0-9]+"/)) { split(substr($0, RSTART + 7, RLENGTH - 8), r, "-"); want = r[2] - r[1] + 1 } else want = -1
        for (i = 1; i <= NF; i++) if ($i ~ /^[0-9][0-9][0-9]$/) { got = $(i + 1); break }
        sent += got; if (got == want) done += got; else if (want > 0) flight += want }
        END { print sent + 0, done + 0, flight + 0 }')
    serve 0
    lines=$(log_lines)
    engine v1 "$work/player"
    bytes2=$(object_bytes "$lines")
    rest=$((size - done1))
    printf '   killed at %d %%: run 1 sent %d bytes (%d in completed ranges, %d requested in flight); run 2 fetched %d; rest + in flight %d; %s\n' \
      "$share" "$bytes1" "$done1" "$flight1" "$bytes2" "$((rest + flight1))" \
      "$([ "$bytes2" -le $((rest + flight1)) ] && echo ok || echo OVER)"
    engine_log | grep -i 'indirildi' || true
    record "resume.$share.run2" "$bytes2"
    record "resume.$share.allowed" "$((rest + flight1))"
    cmp -s "$work/player/$big_name" "$work/games/v1/$big_name" || { echo "   the resumed file differs" >&2; return 1; }
  done
  rm -rf "$work/player"
}

case_time() {
  echo
  echo "== time: a 1 % change (10 MiB overwritten in the middle of 1 GiB), patch against the whole download"
  prepare_v1 1024
  edit_copy "$work/games/v1/$big_name" "$work/games/v2/$big_name" overwrite 10737418
  publish_tree "$work/games/v2" v2
  local round link rate whole patch hash rounds_here
  for link in loopback 100mbit; do
    rate=0; rounds_here=$rounds
    # 100 Mbit/s shared by the six connections: nginx limits each connection, not the sum.
    [ "$link" = 100mbit ] && { rate=2083333; rounds_here=$(( rounds < 2 ? rounds : 2 )); }
    serve "$rate"
    for round in $(seq "$rounds_here"); do
      echo "   load before: $(load)"
      rm -rf "$work/player"
      engine v2 "$work/player"
      whole=$(figure stage)
      player_with "$work/player" "$(object_of v1)"
      engine v2 "$work/player"
      patch=$(figure stage)
      engine_log | grep -i 'indirildi' || true
      hash=$(bare_hash "$(object_of v2)")
      printf '   %-8s round %d: whole download %7.2f s, patch %6.2f s, whole / patch %s; bare CNG hash of the file %5.2f s\n' \
        "$link" "$round" "$whole" "$patch" "$(ratio "$whole" "$patch")" "$hash"
      record "time.$link.whole" "$whole"
      record "time.$link.patch" "$patch"
      record "time.$link.ratio" "$(ratio "$whole" "$patch")"
      record "time.$link.hash" "$hash"
    done
  done
  rm -rf "$work/player" "$work/games/v2" "$work/www/v2"
}

case_memory() {
  echo
  echo "== memory: peak working set while patching a 4 GiB file (goal: under 64 MiB), against its whole download"
  echo "   disk before: $(df -h --output=avail "$work" | tail -1)"
  rm -rf "$work/games" "$work/www" "$work/player"
  mkdir -p "$work/games/v1/pack"
  generate 4294967296 v1big >"$work/games/v1/$big_name"
  publish_tree "$work/games/v1" v1
  local old hash
  old=$(object_of v1)
  edit_copy "$work/games/v1/$big_name" "$work/games/v2/$big_name" overwrite 42949673
  rm -rf "$work/games/v1"
  publish_tree "$work/games/v2" v2
  hash=$(sha256sum "$work/games/v2/$big_name" | cut -d' ' -f1)
  rm -rf "$work/games/v2"
  serve 0
  player_with "$work/player" "$old"
  engine v2 "$work/player"
  local patch whole
  patch=$(figure peak_working_set_mib)
  engine_log | grep -i 'indirildi' || true
  [ "$(sha256sum "$work/player/$big_name" | cut -d' ' -f1)" = "$hash" ] || { echo "   the patched file differs" >&2; return 1; }
  rm -rf "$work/player"
  engine v2 "$work/player"
  whole=$(figure peak_working_set_mib)
  printf '   peak working set: patch %.1f MiB, whole download %.1f MiB\n' "$patch" "$whole"
  record "memory.patch" "$patch"
  record "memory.whole" "$whole"
  rm -rf "$work/player" "$work/www" "$work/games"
}

for c in $cases; do
  "case_$c"
done

echo
echo "== summary over $rounds rounds (load at the end: $(load))"
if grep -q '^bytes\.' "$work/results"; then
  printf '| bytes (1 GiB file) | C = 4 KiB | C = 1 MiB | C = 10 MiB |\n|---|---|---|---|\n'
  for kind in overwrite insert append; do
    printf '| %s | %s | %s | %s |\n' "$kind" "$(spread "bytes.$kind.4096")" "$(spread "bytes.$kind.1048576")" \
      "$(spread "bytes.$kind.10737418")"
  done
  echo "(goal 2*C + 1 MiB: 1056768, 3145728, 22523412 bytes)"
fi
if grep -q '^resume\.' "$work/results"; then
  printf '| resume | next run fetched | rest + in flight |\n|---|---|---|\n'
  for share in 30 70; do
    printf '| killed at %s %% | %s | %s |\n' "$share" "$(spread "resume.$share.run2")" "$(spread "resume.$share.allowed")"
  done
fi
if grep -q '^time\.' "$work/results"; then
  printf '| time, 1 %% of 1 GiB | whole download (s) | patch (s) | whole / patch | bare CNG hash (s) |\n|---|---|---|---|---|\n'
  for link in loopback 100mbit; do
    printf '| %s | %s | %s | %s | %s |\n' "$link" "$(spread "time.$link.whole")" "$(spread "time.$link.patch")" \
      "$(spread "time.$link.ratio")" "$(spread "time.$link.hash")"
  done
fi
if grep -q '^memory\.' "$work/results"; then
  printf '| memory, 4 GiB | patch (MiB) | whole download (MiB) |\n|---|---|---|\n| peak working set | %s | %s |\n' \
    "$(spread memory.patch)" "$(spread memory.whole)"
fi
if grep -q '^publish\.' "$work/results"; then
  printf '| publish | without indexes (s) | with indexes (s) | with / without (goal <= 1.30) |\n|---|---|---|---|\n'
  for tree in big mixed; do
    printf '| %s | %s | %s | %s |\n' "$tree" "$(spread "publish.$tree.without")" "$(spread "publish.$tree.with")" \
      "$(spread "publish.$tree.ratio")"
  done
fi
