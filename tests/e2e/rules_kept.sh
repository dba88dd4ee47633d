#!/usr/bin/env bash
# The rules live with the tree: a game published with an install-only settings file, the player
# edits that file, the studio republishes without --kurallar, and the launcher updates the game
# while the edit survives and the kept "D" rule still deletes a removed file. A rules file that
# would turn the settings file into a checked one is refused unless --denetime-al is given.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

qv_sample_game "$game" "$launcher" 12 $((1048576)) 0
qv_sample_rules "$work/kurallar.txt"
qv_publish "$prefix" "$game" "$www" 1 --sessiz --kurallar "$(qv_winpath "$work/kurallar.txt")" ||
  e2e_fail "publishing version 1"
qv_nginx_start "$work/nginx" "$www"
url="http://127.0.0.1:$QV_NGINX_PORT/qorvane/pc/"
qv_install_launcher "$install" "$launcher"
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait HAZIR 1 120 " HATA "
qv_compare_trees "$game" "$install" || e2e_fail "first run: the install folder differs from the game"
qv_launcher_close "$prefix"

# The player's own settings, and a new build: one file changed, one removed from a "D" folder.
edited=$'pencere=1920x1080\nses=35\n'
printf '%s' "$edited" >"$install/ayarlar/kullanici.cfg"
changed=$(cd "$game" && find pack -name '*.dat' -size +0 | sort | head -n 1)
removed=$(cd "$game" && find pack -name '*.dat' -size +0 | sort | tail -n 1)
[ -n "$changed" ] && [ "$changed" != "$removed" ] || e2e_fail "the sample game has too few files"
qv_random_file "$game/$changed" 5000
rm "$game/$removed"
qv_publish "$prefix" "$game" "$www" 2 --sessiz >"$work/yayin2.out" 2>&1 ||
  { cat "$work/yayin2.out"; e2e_fail "publishing version 2 without --kurallar"; }
grep -q "kurali korundu" "$work/yayin2.out" || { cat "$work/yayin2.out"; e2e_fail "no note that the rules were kept"; }
list=$www/qorvane/pc/manifest.txt
grep -q ' ayarlar/kullanici.cfg$' <(grep '^I ' "$list") || e2e_fail "the settings file is no longer install-only"

qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait HAZIR 2 120 " HATA "
qv_launcher_close "$prefix"
[ "$(cat "$install/ayarlar/kullanici.cfg")" = "${edited%$'\n'}" ] || e2e_fail "the player's edited settings were overwritten"
grep -qF "fazla dosya $removed silindi" "$log" || e2e_fail "the kept D rule did not delete $removed"
cmp -s "$game/$changed" "$install/$changed" || e2e_fail "the changed file was not updated"
cp "$install/ayarlar/kullanici.cfg" "$game/ayarlar/kullanici.cfg"
qv_compare_trees "$game" "$install" || e2e_fail "second run: the install folder differs from the game"

# A rules file without the "I" rule would overwrite every player's settings: refused, list kept.
grep -v '^I ' "$work/kurallar.txt" >"$work/kurallar-isiz.txt"
cp "$list" "$work/liste-2.txt"
if qv_publish "$prefix" "$game" "$www" 3 --sessiz --kurallar "$(qv_winpath "$work/kurallar-isiz.txt")" \
     >"$work/yayin3.out" 2>&1; then
  e2e_fail "a rules file turning the settings file checked was published"
fi
grep -q -- "--denetime-al" "$work/yayin3.out" || { cat "$work/yayin3.out"; e2e_fail "the refusal does not name --denetime-al"; }
cmp -s "$list" "$work/liste-2.txt" || e2e_fail "the refused publish changed the list"
qv_publish "$prefix" "$game" "$www" 3 --sessiz --kurallar "$(qv_winpath "$work/kurallar-isiz.txt")" --denetime-al \
  >"$work/yayin3.out" 2>&1 || { cat "$work/yayin3.out"; e2e_fail "--denetime-al did not publish"; }
grep -q '^K .* ayarlar/kullanici.cfg$' "$list" || e2e_fail "with --denetime-al the settings file is not checked"
echo "ok"
