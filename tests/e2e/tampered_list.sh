#!/usr/bin/env bash
# A list changed on the server after signing is refused twice (error kind 2) and nothing in the
# installed game folder is touched, although the list asks for changes.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

qv_sample_game "$game" "$launcher" 20 $((33 * 1048576)) 0
qv_sample_rules "$work/kurallar.txt"
qv_publish "$prefix" "$game" "$www" 1 --kurallar "$(qv_winpath "$work/kurallar.txt")" --sessiz ||
  e2e_fail "publishing"
qv_nginx_start "$work/nginx" "$www"
url="http://127.0.0.1:$QV_NGINX_PORT/qorvane/pc/"
qv_install_launcher "$install" "$launcher"
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait HAZIR 1 120 " HATA "
qv_launcher_close "$prefix"

qv_sample_update "$game"
qv_publish "$prefix" "$game" "$www" 2 --kurallar "$(qv_winpath "$work/kurallar.txt")" --sessiz ||
  e2e_fail "publishing the update"
# One changed digit of the version: the rest of the list is as signed.
sed -i 's/^#surum 2$/#surum 3/' "$www/qorvane/pc/manifest.txt"
grep -q '^#surum 3$' "$www/qorvane/pc/manifest.txt" || e2e_fail "could not tamper with the list"
before=$(e2e_snapshot)
fetches_before=$(grep -c 'GET /qorvane/pc/manifest.txt' "$work/nginx/access.log" || true)

qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait "HATA 2 " 1 60 HAZIR
# Why, with the signature check's own error (NTE_BAD_SIGNATURE).
grep -q "HATA 2 imza dogrulanamadi: .* (son sistem hatasi 2148073478)" "$log" ||
  e2e_fail "the error line does not say why the list was refused"
# Two fetches of the list, 2 s apart, before the error.
fetches=$(grep -c 'GET /qorvane/pc/manifest.txt' "$work/nginx/access.log" || true)
[ $((fetches - fetches_before)) -ge 2 ] ||
  e2e_fail "the list was not fetched twice in the failing run"
[ "$before" = "$(e2e_snapshot)" ] || e2e_fail "the game folder changed after a rejected list"
find "$install" -name '*.indir' | grep -q . && e2e_fail "temporary downloads left behind"
echo "ok"
