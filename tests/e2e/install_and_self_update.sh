#!/usr/bin/env bash
# An empty install folder becomes the published game byte for byte; then an update with changed,
# added and removed files and a new launcher executable: the launcher replaces itself, restarts with
# "--guncellendi", converges, and the old executable is gone once the new one reached HAZIR. Last, a
# published launcher that ends at once on start: the running one takes its name back and carries on.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

qv_sample_game "$game" "$launcher" 40 $((34 * 1048576 + 7)) 0
qv_sample_rules "$work/kurallar.txt"
qv_sample_news "$work/haberler" "07.12"
opts=(--kurallar "$(qv_winpath "$work/kurallar.txt")" --sessiz
      --haberler-tr "$(qv_winpath "$work/haberler/haberler_tr.txt")"
      --haberler-en "$(qv_winpath "$work/haberler/haberler_en.txt")")
qv_publish "$prefix" "$game" "$www" 1 "${opts[@]}" || e2e_fail "publishing version 1"
qv_nginx_start "$work/nginx" "$www"
url="http://127.0.0.1:$QV_NGINX_PORT/qorvane/pc/"

qv_install_launcher "$install" "$launcher"
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait HAZIR 1 120 " HATA "
qv_compare_trees "$game" "$install" || e2e_fail "first run: the install folder differs from the game"
cmp -s "$www/qorvane/pc/manifest.txt" "$install/koruma/manifest.txt" || e2e_fail "koruma/manifest.txt differs"
grep -q 'parcali' "$log" || e2e_fail "no download line"
qv_launcher_close "$prefix"

# A new launcher: the same program with bytes appended still runs, and its hash differs.
qv_sample_update "$game"
printf 'qorvane-e2e-yeni-launcher' >>"$game/Qorvane Launcher.exe"
qv_publish "$prefix" "$game" "$www" 2 "${opts[@]}" || e2e_fail "publishing version 2"

qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait "launcher guncellendi, yeniden baslatiliyor" 1 90 " HATA "
e2e_wait "(--guncellendi)" 1 60 " HATA "
e2e_wait HAZIR 2 120 " HATA "
# The old executable is the way back until the restarted launcher's run is HAZIR; it goes then, once
# the old process has let go of it.
for _ in $(seq 50); do [ -e "$install/Qorvane Launcher.exe.eski" ] || break; sleep 0.1; done
qv_compare_trees "$game" "$install" || e2e_fail "update: the install folder differs from the game"
[ "$(e2e_count 'fazla dosya .* silindi')" -ge 10 ] || e2e_fail "removed files were not deleted"
[ -e "$install/Qorvane Launcher.exe.eski" ] && e2e_fail ".eski left behind"
[ -e "$install/Qorvane Launcher.exe.yeni" ] && e2e_fail ".yeni left behind"
qv_launcher_close "$prefix"

# A bad launcher build: a program that carries the list's key but ends at once (the test game).
cp "$install/Qorvane Launcher.exe" "$work/onceki-launcher.exe"
cp "$QV_BUILD/tests/fixtures/Qorvane.exe" "$game/Qorvane Launcher.exe"
qv_wine "$prefix" "$QV_BUILD/tests/e2e/qv_e2e_tool.exe" anahtarlar "$(qv_winpath "$game/Qorvane Launcher.exe")" \
  "$(tr -d ' \r\n' <"$QV_ROOT/keys/dev-public-key.hex")" || e2e_fail "giving the bad build the key"
qv_publish "$prefix" "$game" "$www" 3 "${opts[@]}" || e2e_fail "publishing version 3"
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait "launcher guncellendi, yeniden baslatiliyor" 2 90 " HATA "
e2e_wait "yeni launcher isaret vermeden kapandi (cikis kodu 0); eskisi geri kondu" 1 60 " HATA "
e2e_wait HAZIR 3 120 " HATA "
cmp -s "$work/onceki-launcher.exe" "$install/Qorvane Launcher.exe" || e2e_fail "the launcher was not put back"
[ -e "$install/Qorvane Launcher.exe.eski" ] && e2e_fail ".eski left after the launcher was put back"
[ -e "$install/Qorvane Launcher.exe.yeni" ] && e2e_fail "the bad build left behind as .yeni"
echo "ok"
