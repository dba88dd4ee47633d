#!/usr/bin/env bash
# An empty install folder becomes the published game byte for byte; then an update with changed,
# added and removed files and a new launcher executable: the launcher replaces itself, restarts with
# "--guncellendi", converges, and the old executable is gone.
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
qv_compare_trees "$game" "$install" || e2e_fail "update: the install folder differs from the game"
[ "$(e2e_count 'fazla dosya .* silindi')" -ge 10 ] || e2e_fail "removed files were not deleted"
# The old executable is deleted by the restarted launcher once the old process has let go of it.
for _ in $(seq 50); do [ -e "$install/Qorvane Launcher.exe.eski" ] || break; sleep 0.1; done
[ -e "$install/Qorvane Launcher.exe.eski" ] && e2e_fail ".eski left behind"
[ -e "$install/Qorvane Launcher.exe.yeni" ] && e2e_fail ".yeni left behind"
echo "ok"
