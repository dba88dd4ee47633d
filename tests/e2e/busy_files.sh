#!/usr/bin/env bash
# Another program holds a game file when an update wants to replace it: the launcher waits for it
# (each wait a log line) and finishes the update once the holder lets go. Then a game folder whose
# list does not fit on the drive: the run ends before anything is fetched and nothing is touched.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
tool="$QV_BUILD/tests/e2e/qv_e2e_tool.exe"
holder_pid=
stop_holder() { [ -z "$holder_pid" ] || wait "$holder_pid"; }
e2e_extra_cleanup=stop_holder

qv_sample_game "$game" "$launcher" 10 $((2 * 1048576)) 0
qv_publish "$prefix" "$game" "$www" 1 --sessiz || e2e_fail "publishing version 1"
qv_nginx_start "$work/nginx" "$www"
url="http://127.0.0.1:$QV_NGINX_PORT/qorvane/pc/"

qv_install_launcher "$install" "$launcher"
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait HAZIR 1 90 "HATA "
qv_launcher_close "$prefix"

# Version 2 changes the large file; a scanner-like program holds it for 2 s when the launcher starts.
printf 'guncelleme' | dd of="$game/pack/dünya haritası.epk" bs=1 seek=1000 conv=notrunc status=none
qv_publish "$prefix" "$game" "$www" 2 --sessiz || e2e_fail "publishing version 2"
marker=$work/tutuldu
qv_wine "$prefix" "$tool" tut "$(qv_winpath "$install/pack/dünya haritası.epk")" "$(qv_winpath "$marker")" 2000 &
holder_pid=$!
for _ in $(seq 100); do [ -f "$marker" ] && break; sleep 0.1; done
[ -f "$marker" ] || e2e_fail "the holder did not take the file"
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait HAZIR 2 90 "HATA "
wait "$holder_pid" || e2e_fail "the holder failed"
holder_pid=
waits=$(e2e_count "dosya kullanimda (hata 32): pack/dünya haritası.epk, .* ms bekleniyor")
[ "$waits" -ge 1 ] || e2e_fail "no wait for the held file in the log"
qv_compare_trees "$game" "$install" || e2e_fail "the install folder differs from version 2"
qv_launcher_close "$prefix"

# Version 3 lists a file twice as large as the free space (a list edited and signed with the
# development key, so that no such file has to exist): found before any object is requested.
game_files() { (cd "$install" && find . -type f ! -path './koruma/*' -print0 | sort -z | xargs -0 sha256sum); }
before=$(game_files)
requests_before=$(grep -c '/obj/' "$work/nginx/access.log" || true)
free=$(df -B1 --output=avail "$install" | tail -1 | tr -d ' ')
tree=$www/qorvane/pc
sed 's/^#surum 2$/#surum 3/' "$tree/manifest.txt" >"$work/manifest.txt"
printf 'K %s %s pack/dev.epk\n' "$(printf 'dev' | sha256sum | cut -d' ' -f1)" $((free * 2 + 1073741824)) >>"$work/manifest.txt"
qv_wine "$prefix" "$tool" imzala "$(qv_winpath "$QV_ROOT/keys/dev-private-key.txt")" \
  "$(qv_winpath "$work/manifest.txt")" "$(qv_winpath "$work/manifest.sig")" || e2e_fail "signing the list"
cp "$work/manifest.txt" "$work/manifest.sig" "$tree/"
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait "HATA 7 " 1 90 HAZIR
grep -q "liste dogrulandi: surum 3" "$log" || e2e_fail "the edited list was not the one checked"
grep -q "diskte yer yok: gerekli [0-9]* bayt, bos [0-9]* bayt" "$log" || e2e_fail "no room line in the log"
[ "$(grep -c '/obj/' "$work/nginx/access.log" || true)" = "$requests_before" ] ||
  e2e_fail "objects were requested although the drive has no room"
[ "$(game_files)" = "$before" ] || e2e_fail "a game file changed"
echo "ok ($waits waits for the held file)"
