#!/usr/bin/env bash
# Updates that cost what changed, through the built programs: a big file (just over the 4 MiB the
# publisher indexes) is installed, changed in the middle and republished, and the next update takes
# nearly all of it from the copy on disk; a run killed half way through a new version leaves a temp
# file the next run continues from; a corrupted local copy is mended from what is left of it; and a
# server that ignores Range still brings the file, whole, in the same run.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

big="pack/büyük arşiv.epk"
size=$((4 * 1048576 + 300000))
MiB=1048576

qv_sample_game "$game" "$launcher" 3 65536 0
qv_random_file "$game/$big" "$size"

publish() {  # VERSION
  qv_publish "$prefix" "$game" "$www" "$1" --sessiz >/dev/null || e2e_fail "publishing version $1"
}
# Restarts nginx on its port, each connection limited to RATE bytes a second (0: no limit).
serve() {  # RATE
  qv_nginx_stop "$work/nginx"
  sed -i '/limit_rate /d' "$work/nginx/nginx.conf"
  [ "$1" = 0 ] || sed -i "s|^\( *\)root \(.*\)$|\1root \2\n\1limit_rate $1;|" "$work/nginx/nginx.conf"
  qv_nginx_restart "$work/nginx" || e2e_fail "nginx did not restart"
}
# One launcher run to the ready state; then the window is closed.
update() {  # RUN_NUMBER
  qv_launcher_start "$prefix" "$install" "$url" hidden
  e2e_wait HAZIR "$1" 90 "HATA"
  qv_launcher_close "$prefix"
}
# The numbers of the big file's last log line: "<from disk> <from the server>", or nothing when it
# was fetched whole.
patched() {
  grep "indirildi $big " "$log" | tail -1 | sed -n 's/.*diskten \([0-9]*\), sunucudan \([0-9]*\) bayt.*/\1 \2/p'
}
object_bytes_since() {  # LINES: object body bytes nginx sent after that many access log lines
  tail -n +"$(($1 + 1))" "$work/nginx/access.log" |
    awk '/\/obj\// { for (i = 1; i <= NF; i++) if ($i ~ /^[0-9][0-9][0-9]$/) { s += $(i + 1); break } } END { print s + 0 }'
}

publish 1
qv_nginx_start "$work/nginx" "$www"
url="http://127.0.0.1:$QV_NGINX_PORT/qorvane/pc/"
grep -q '^P ' "$www/qorvane/pc/manifest.txt" || e2e_fail "the list names no chunk index"
qv_install_launcher "$install" "$launcher"
update 1
[ -z "$(patched)" ] || e2e_fail "a first install has nothing on disk to patch from"

echo "-- a change in the middle: taken from the copy on disk"
head -c 65536 /dev/urandom | dd of="$game/$big" bs=1 seek=2000000 conv=notrunc status=none
publish 2
lines=$(wc -l <"$work/nginx/access.log")
update 2
read -r disk server <<<"$(patched)"
[ -n "${server:-}" ] || e2e_fail "the changed big file was not patched"
[ "$server" -lt "$MiB" ] && [ "$disk" -gt $((size - MiB)) ] || e2e_fail "patch took $disk from disk, $server from the server"
sent=$(object_bytes_since "$lines")
[ "$sent" -lt "$MiB" ] || e2e_fail "nginx sent $sent object bytes for a 64 KiB change"
grep -q '"bytes=' "$work/nginx/access.log" || e2e_fail "no range request reached the server"
qv_compare_trees "$game" "$install" || e2e_fail "the install folder differs after the patch"
echo "   disk $disk, server $server, nginx sent $sent object bytes"

echo "-- a run killed half way through a new version: the next one goes on from its temp file"
qv_random_file "$game/$big" "$size"
publish 3
serve 262144
temp="$install/$big.indir"
qv_launcher_start "$prefix" "$install" "$url" hidden
for _ in $(seq 600); do
  [ -f "$temp" ] && [ $(($(stat -c %b "$temp") * 512)) -ge $((2 * MiB)) ] && break
  sleep 0.1
done
[ -f "$temp" ] || e2e_fail "no temp file while the new version was downloading"
kill -KILL "$QV_LAUNCHER_PID" 2>/dev/null || true
qv_launcher_close "$prefix"
[ -f "$temp" ] || e2e_fail "the killed run's temp file is gone"
serve 0
update 3
read -r disk server <<<"$(patched)"
[ -n "${server:-}" ] || e2e_fail "the killed run's temp file was not used"
[ "$disk" -ge $((2 * MiB - 300000)) ] && [ "$server" -le $((size - 2 * MiB + 600000)) ] ||
  e2e_fail "resume took $disk from disk, $server from the server"
[ ! -f "$temp" ] || e2e_fail "the temp file is still there"
qv_compare_trees "$game" "$install" || e2e_fail "the install folder differs after the resume"
echo "   disk $disk, server $server"

echo "-- a corrupted local copy: mended from what is left of it"
printf 'bozuk veri' | dd of="$install/$big" bs=1 seek=3000000 conv=notrunc status=none
update 4
read -r disk server <<<"$(patched)"
[ -n "${server:-}" ] && [ "$server" -lt "$MiB" ] || e2e_fail "mending took ${server:-all} from the server"
qv_compare_trees "$game" "$install" || e2e_fail "the install folder differs after mending"
echo "   disk $disk, server $server"

echo "-- a server that ignores Range: the whole file, in the same run"
head -c 65536 /dev/urandom | dd of="$game/$big" bs=1 seek=1000000 conv=notrunc status=none
publish 5
qv_nginx_stop "$work/nginx"
port=$((20000 + RANDOM % 40000))
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$www" >"$work/python-http.out" 2>&1 &
python_pid=$!
e2e_extra_cleanup="kill $python_pid"
for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
url="http://127.0.0.1:$port/qorvane/pc/"
update 5
grep -q "sunucu Range vermedi" "$log" || e2e_fail "the ignored range was not noticed"
[ -z "$(patched)" ] || e2e_fail "the file claims a patch from a server without ranges"
qv_compare_trees "$game" "$install" || e2e_fail "the install folder differs after the fallback"
echo "ok"
