#!/usr/bin/env bash
# The server is down when the launcher starts: the run ends with error kind 1, and the window's
# automatic retry 5 s later succeeds once nginx is back.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

qv_sample_game "$game" "$launcher" 20 $((33 * 1048576)) 0
qv_publish "$prefix" "$game" "$www" 1 --sessiz || e2e_fail "publishing"
qv_nginx_start "$work/nginx" "$www"
url="http://127.0.0.1:$QV_NGINX_PORT/qorvane/pc/"
qv_nginx_stop "$work/nginx"

qv_install_launcher "$install" "$launcher"
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait "HATA 1 " 1 60 HAZIR
# What failed and the refused connection's own error (ERROR_WINHTTP_CANNOT_CONNECT).
grep -q "HATA 1 liste manifest.txt alinamadi (son sistem hatasi 12029)" "$log" ||
  e2e_fail "the error line does not carry the refused connection's detail and code"
qv_nginx_restart "$work/nginx" || e2e_fail "nginx did not come back on port $QV_NGINX_PORT"
e2e_wait HAZIR 1 90
[ "$(e2e_count '^.\{20\}---- basla')" -ge 2 ] || e2e_fail "no second run"
# The retry waits 5 s after the error (time stamps have whole seconds).
error_at=$(grep -m1 'HATA 1 ' "$log" | cut -c12-19)
retry_at=$(grep '^.\{20\}---- basla' "$log" | sed -n 2p | cut -c12-19)
gap=$(( $(date -d "$retry_at" +%s) - $(date -d "$error_at" +%s) ))
[ "$gap" -ge 4 ] || e2e_fail "retry after ${gap} s, expected about 5 s"
qv_compare_trees "$game" "$install" || e2e_fail "the install folder differs from the game"
echo "ok (retry ${gap} s after the error)"
