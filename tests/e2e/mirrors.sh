#!/usr/bin/env bash
# Mirrors named in the signed list: a second nginx carries a copy of the tree. With both up the
# launcher uses the main server only; when the main server answers 503 for every game file, the
# files (the large one range by range) come from the mirror; when the main server is down, the list
# comes from the mirror the last verified list named. Publishing again without --ayna keeps it.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

mirror_www=$work/ayna-www
mkdir -p "$mirror_www"
qv_nginx_start "$work/ayna" "$mirror_www" || e2e_fail "the mirror's nginx did not start"
e2e_extra_cleanup="qv_nginx_stop $work/ayna"
mirror_url="http://127.0.0.1:$QV_NGINX_PORT/qorvane/pc/"
# What an operator's upload gives the mirror: the whole published tree.
sync_mirror() {
  rm -rf "$mirror_www/qorvane"
  mkdir -p "$mirror_www/qorvane"
  cp -a "$www/qorvane/pc" "$mirror_www/qorvane/pc"
}
list=$www/qorvane/pc/manifest.txt

qv_sample_game "$game" "$launcher" 8 $((33 * 1048576 + 5)) 0
qv_publish "$prefix" "$game" "$www" 1 --sessiz --ayna "$mirror_url" || e2e_fail "publishing version 1"
grep -qxF "A $mirror_url" "$list" || e2e_fail "the list names no mirror"
sync_mirror
qv_nginx_start "$work/nginx" "$www" || e2e_fail "the main nginx did not start"
url="http://127.0.0.1:$QV_NGINX_PORT/qorvane/pc/"

qv_install_launcher "$install" "$launcher"
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait HAZIR 1 120 " HATA "
qv_launcher_close "$prefix"
qv_compare_trees "$game" "$install" || e2e_fail "first run: the install folder differs from the game"
[ "$(e2e_count ', ayna ')" = 0 ] || e2e_fail "files came from the mirror while the main server was up"

# Version 2: the large file and a small one change; the main server answers 503 for every object.
small=$(cd "$game" && find pack data -type f -size +0 -name '*.dat' | sort | head -n 1)
[ -n "$small" ] || e2e_fail "the sample game has no small file to change"
qv_random_file "$game/pack/dünya haritası.epk" $((33 * 1048576 + 5))
qv_random_file "$game/$small" 7000
qv_publish "$prefix" "$game" "$www" 2 --sessiz >"$work/yayin2.out" 2>&1 ||
  { cat "$work/yayin2.out"; e2e_fail "publishing version 2"; }
grep -q "aynasi korundu" "$work/yayin2.out" || { cat "$work/yayin2.out"; e2e_fail "no note that the mirror was kept"; }
grep -qxF "A $mirror_url" "$list" || e2e_fail "publishing without --ayna dropped the mirror"
sync_mirror
qv_nginx_stop "$work/nginx"
sed -i 's|location /qorvane/pc/obj/ {|& return 503;|' "$work/nginx/nginx.conf"
grep -q 'return 503' "$work/nginx/nginx.conf" || e2e_fail "could not make the main server answer 503"
qv_nginx_restart "$work/nginx" || e2e_fail "the main nginx did not come back"

qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait HAZIR 2 180 " HATA "
qv_launcher_close "$prefix"
qv_compare_trees "$game" "$install" || e2e_fail "second run: the install folder differs from the game"
grep -qF "indirildi $small (7000 bayt), ayna $mirror_url" "$log" || e2e_fail "the log does not name the mirror for $small"
grep -qF "indirildi pack/dünya haritası.epk ($((33 * 1048576 + 5)) bayt, 3 parca), ayna $mirror_url" "$log" ||
  e2e_fail "the large file did not come range by range from the mirror"
grep -q "sunucu bu calismada atlaniyor: 127.0.0.1:.* (HTTP 503" "$log" || e2e_fail "the 503 server was not passed over"

# Version 3: the main server is down; the list comes from the mirror the verified list names.
qv_random_file "$game/$small" 9000
qv_publish "$prefix" "$game" "$www" 3 --sessiz || e2e_fail "publishing version 3"
sync_mirror
qv_nginx_stop "$work/nginx"
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait HAZIR 3 180 " HATA "
qv_launcher_close "$prefix"
grep -qF "liste aynadan alindi: $mirror_url" "$log" || e2e_fail "the list did not come from the mirror"
grep -q "liste dogrulandi: surum 3" "$log" || e2e_fail "version 3 was not verified"
qv_compare_trees "$game" "$install" || e2e_fail "third run: the install folder differs from the game"
echo "ok"
