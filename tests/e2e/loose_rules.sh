#!/usr/bin/env bash
# A signed list whose clean-up rules are written loosely, as an older publisher or a hand edit leaves
# them ("D pack/", "D ./data", "D .", backslashes, Turkish letters in another case): the launcher
# deletes no listed file, no install record and not the game, still deletes what the rules give it,
# and a second run downloads nothing.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# The raw r||s signature the launcher reads, made by openssl with the development key: today's
# publisher refuses to sign these rules.
e2e_sign_list() {  # LIST SIGNATURE
  local der=$2.der hex="" value
  openssl dgst -sha256 -sign "$QV_ROOT/keys/dev-private-key.pem" -out "$der" "$1" || return 1
  for value in $(openssl asn1parse -inform DER -in "$der" | sed -n 's/.*INTEGER *://p'); do
    while [ ${#value} -gt 64 ]; do value=${value:2}; done  # DER's sign byte
    while [ ${#value} -lt 64 ]; do value=0$value; done
    hex+=$value
  done
  rm -f "$der"
  [ ${#hex} -eq 128 ] || return 1
  printf '%b' "$(sed 's/../\\x&/g' <<<"$hex")" >"$2"
}

qv_sample_game "$game" "$launcher" 40 $((2 * 1048576)) 0
qv_publish "$prefix" "$game" "$www" 1 --sessiz || e2e_fail "publishing"
list=$www/qorvane/pc/manifest.txt
{
  head -n 2 "$list"
  printf 'D pack/\nD ./data\nD .\nD ./\nD ayarlar\\\nD koruma\n'
  printf 'D PACK/HARITA \xc3\x87IZIMLERI\n'                                    # pack/Harita Çizimleri
  printf 'D pack/\xc4\xb0\xc3\x87 MEK\xc3\x82N//A\xc4\x9eA\xc3\x87LAR VE \xc3\x87I\xc3\x87EKLER/\n'  # pack/İç Mekân/ağaçlar ve çiçekler
  printf 'E .EXE\nS ./pack//*.log\n'
  tail -n +3 "$list"
} >"$list.gevsek"
mv "$list.gevsek" "$list"
e2e_sign_list "$list" "$www/qorvane/pc/manifest.sig" || e2e_fail "signing the loose list"
qv_nginx_start "$work/nginx" "$www"
url="http://127.0.0.1:$QV_NGINX_PORT/qorvane/pc/"

qv_install_launcher "$install" "$launcher"
# Files the rules do give the clean-up.
mkdir -p "$install/pack/İç Mekân/ağaçlar ve çiçekler" "$install/data"
printf 'eski' >"$install/pack/İç Mekân/ağaçlar ve çiçekler/kaldırılan.dat"
printf 'eski' >"$install/data/kaldırılan.dat"
printf 'eski' >"$install/eski araç.exe"
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait HAZIR 1 120 " HATA "
qv_compare_trees "$game" "$install" || e2e_fail "first run: the install folder differs from the game"
[ -f "$install/koruma/kurulum.txt" ] || e2e_fail "the install record was deleted"
[ "$(e2e_count 'fazla dosya .* silindi')" -eq 3 ] || e2e_fail "the rules' own extra files were not deleted"
downloaded=$(e2e_count 'indirildi ')
qv_launcher_close "$prefix"

objects_before=$(grep -c 'GET /qorvane/pc/obj/' "$work/nginx/access.log" || true)
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait HAZIR 2 120 " HATA "
qv_compare_trees "$game" "$install" || e2e_fail "second run: the install folder differs from the game"
grep -q 'tarama bitti: [0-9]* dosya, 0 indirilecek' "$log" || e2e_fail "the second run had files to download"
[ "$(e2e_count 'indirildi ')" -eq "$downloaded" ] || e2e_fail "the second run downloaded files"
[ "$(grep -c 'GET /qorvane/pc/obj/' "$work/nginx/access.log" || true)" -eq "$objects_before" ] ||
  e2e_fail "the second run fetched objects"
[ "$(e2e_count 'fazla dosya')" -eq 3 ] || e2e_fail "the second run deleted files"
echo "ok"
