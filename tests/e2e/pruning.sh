#!/usr/bin/env bash
# Pruning: three publishes leave two replaced lists in gecmis/; `temizle --sakla 2` (first as a
# trial) deletes exactly the objects only version 1 named, prints what it frees, and the served
# tree still passes the live check; `--sakla 1` then keeps only what the live list needs.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

publisher=$QV_BUILD/tools/qorvane-yayinci.exe
pub() { qv_wine "$prefix" "$publisher" "$@"; }
target=$www/qorvane/pc
hashes() { awk '($1 == "K" || $1 == "I") { print $2 }' "$@" | sort -u; }
objects() { (cd "$target/obj" && find . -type f -printf '%f\n' | sort); }

qv_sample_game "$game" "$launcher" 10 $((1048576)) 0
for version in 1 2 3; do
  qv_random_file "$game/pack/sürüm.dat" $((3000 + version))
  qv_random_file "$game/pack/harita $version.dat" $((2000 + version))
  qv_publish "$prefix" "$game" "$www" "$version" --sessiz >"$work/yayin-$version.out" 2>&1 ||
    { cat "$work/yayin-$version.out"; e2e_fail "publishing version $version"; }
  cp "$target/manifest.txt" "$work/liste-$version.txt"
done
[ "$(ls "$target/gecmis")" = "$(printf '000001-1.txt\n000002-2.txt')" ] || e2e_fail "gecmis/ holds: $(ls "$target/gecmis")"
cmp -s "$target/gecmis/000001-1.txt" "$work/liste-1.txt" || e2e_fail "the history does not hold version 1's list"

only_first=$(comm -23 <(hashes "$work/liste-1.txt") <(hashes "$work/liste-2.txt" "$work/liste-3.txt"))
[ "$(grep -c . <<<"$only_first")" = 1 ] || e2e_fail "expected one object only version 1 names: $only_first"
freed=$(stat -c %s "$target/obj/${only_first:0:2}/$only_first")
before=$(objects)

pub temizle --hedef "$(qv_winpath "$target")" --sakla 2 --deneme >"$work/deneme.out" 2>&1 ||
  { cat "$work/deneme.out"; e2e_fail "temizle --deneme"; }
[ "$(objects)" = "$before" ] || e2e_fail "a trial deleted something"
grep -qF "silinecek (would delete) obj/${only_first:0:2}/$only_first" "$work/deneme.out" ||
  { cat "$work/deneme.out"; e2e_fail "the trial does not name the object"; }

pub temizle --hedef "$(qv_winpath "$target")" --sakla 2 >"$work/temizle.out" 2>&1 ||
  { cat "$work/temizle.out"; e2e_fail "temizle"; }
grep -qF "silindi (deleted) obj/${only_first:0:2}/$only_first" "$work/temizle.out" || { cat "$work/temizle.out"; e2e_fail "not named"; }
grep -qE "^1 nesne, $freed bayt .* bosaltildi" "$work/temizle.out" || { cat "$work/temizle.out"; e2e_fail "no summary"; }
[ "$(comm -3 <(echo "$before") <(objects))" = "$(printf '\t%s' "$only_first" | cut -f2)" ] ||
  e2e_fail "deleted other than the one object: $(comm -3 <(echo "$before") <(objects))"
[ "$(ls "$target/gecmis")" = 000002-2.txt ] || e2e_fail "version 1's list was not dropped from the history"
for f in $(hashes "$work/liste-2.txt"); do
  [ -f "$target/obj/${f:0:2}/$f" ] || e2e_fail "an object of version 2 was deleted: $f"
done

qv_nginx_start "$work/nginx" "$www"
pub dogrula --sessiz --adres "http://127.0.0.1:$QV_NGINX_PORT/qorvane/pc/" --tam >"$work/dogrula.out" 2>&1 ||
  { cat "$work/dogrula.out"; e2e_fail "the pruned tree does not pass the live check"; }

pub temizle --hedef "$(qv_winpath "$target")" --sakla 1 >"$work/temizle-1.out" 2>&1 ||
  { cat "$work/temizle-1.out"; e2e_fail "temizle --sakla 1"; }
[ "$(objects)" = "$(hashes "$work/liste-3.txt")" ] || e2e_fail "--sakla 1 left other than the live list's objects"
pub dogrula --sessiz --hedef "$(qv_winpath "$target")" >"$work/dogrula-1.out" 2>&1 ||
  { cat "$work/dogrula-1.out"; e2e_fail "the tree fails after --sakla 1"; }
status=0
pub temizle --hedef "$(qv_winpath "$target")" --sakla 0 >"$work/sifir.out" 2>&1 || status=$?
[ "$status" = 2 ] || e2e_fail "--sakla 0: exit $status, expected 2"
echo "ok"
