#!/usr/bin/env bash
# A studio with its own release key (made with the publisher's anahtar-uret) and players whose
# launcher carries it. A tree that would ship the development-key launcher is refused by the
# publisher and flagged by the verifier; signed and served anyway, it does not take over installed
# launchers: they keep their own executable and keep updating with the release key. An older,
# validly signed list served afterwards is refused (error kind 2) and nothing is touched.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
tool="$QV_BUILD/tests/e2e/qv_e2e_tool.exe"
publisher="$QV_BUILD/tools/qorvane-yayinci.exe"
[ -f "$tool" ] || e2e_fail "not built: $tool"
tree=$www/qorvane/pc

keys=$work/anahtar
mkdir -p "$keys" "$tree"
qv_wine "$prefix" "$publisher" anahtar-uret --ozel-anahtar "$(qv_winpath "$keys/yayin.txt")" \
  --acik-anahtar-dosyasi "$(qv_winpath "$keys/yayin.hex")" >"$work/anahtar-uret.out" 2>&1 ||
  e2e_fail "key generation: $(cat "$work/anahtar-uret.out")"
release_hex=$(tr -d ' \r\n' <"$keys/yayin.hex")
dev_hex=$(tr -d ' \r\n' <"$QV_ROOT/keys/dev-public-key.hex")
# The release launcher: the built program with the release key set in place of the development key,
# as a build with -DQORVANE_PUBLIC_KEY_HEX would embed it.
release_launcher=$work/release-launcher.exe
cp "$launcher" "$release_launcher"
qv_wine "$prefix" "$tool" anahtarlar "$(qv_winpath "$release_launcher")" "$release_hex" ||
  e2e_fail "could not give the launcher the release key"

release_publish() {  # VERSION [publisher options...]: prints the publisher's output
  local version=$1
  shift
  qv_wine "$prefix" "$publisher" yayinla --oyun "$(qv_winpath "$game")" --hedef "$(qv_winpath "$tree")" \
    --ozel-anahtar "$(qv_winpath "$keys/yayin.txt")" --surum "$version" --sessiz "$@" 2>&1
}

qv_sample_game "$game" "$release_launcher" 20 100000 0
release_publish 10 >"$work/yayin10.out" || e2e_fail "publishing version 10: $(cat "$work/yayin10.out")"
mkdir -p "$work/surum10"
cp "$tree/manifest.txt" "$tree/manifest.sig" "$work/surum10/"
qv_nginx_start "$work/nginx" "$www"
url="http://127.0.0.1:$QV_NGINX_PORT/qorvane/pc/"
qv_install_launcher "$install" "$release_launcher"
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait HAZIR 1 120 " HATA "
qv_launcher_close "$prefix"
grep -q "UYARI: gelistirme" "$log" && e2e_fail "the release-key launcher warns about the development key"

# The development build of the launcher copied into the release tree: the publisher refuses it,
# naming both keys, and the served list stays as it was.
cp "$launcher" "$game/Qorvane Launcher.exe"
printf 'yeni\n' >"$game/pack/yeni.dat"
if release_publish 20 >"$work/yayin20.out"; then
  e2e_fail "the publisher accepted a launcher without the signing key"
fi
grep -q "$release_hex" "$work/yayin20.out" && grep -q "$dev_hex (gelistirme" "$work/yayin20.out" ||
  e2e_fail "the refusal does not name both keys: $(cat "$work/yayin20.out")"
cmp -s "$tree/manifest.txt" "$work/surum10/manifest.txt" || e2e_fail "the refused publish changed the list"

# Published anyway: the release launcher goes out with version 20, then its record is pointed at the
# development build and the list signed again with the release key, as a hand-made tree would be.
cp "$release_launcher" "$game/Qorvane Launcher.exe"
release_publish 20 >"$work/yayin20.out" || e2e_fail "publishing version 20: $(cat "$work/yayin20.out")"
dev_hash=$(sha256sum "$launcher" | cut -d' ' -f1)
mkdir -p "$tree/obj/${dev_hash:0:2}"
cp "$launcher" "$tree/obj/${dev_hash:0:2}/$dev_hash"
awk -v hash="$dev_hash" -v size="$(stat -c %s "$launcher")" \
  '/ Qorvane Launcher\.exe$/ { $2 = hash; $3 = size } { print }' "$tree/manifest.txt" >"$work/manifest.txt"
grep -q "$dev_hash" "$work/manifest.txt" || e2e_fail "could not point the list at the development launcher"
qv_wine "$prefix" "$tool" imzala "$(qv_winpath "$keys/yayin.txt")" "$(qv_winpath "$work/manifest.txt")" \
  "$(qv_winpath "$work/manifest.sig")" || e2e_fail "signing the list"
cp "$work/manifest.txt" "$work/manifest.sig" "$tree/"

if qv_wine "$prefix" "$publisher" dogrula --hedef "$(qv_winpath "$tree")" --acik-anahtar "$release_hex" \
  --sessiz >"$work/dogrula.out" 2>&1; then
  e2e_fail "the verifier accepted a tree whose launcher cannot verify its list"
fi
grep -q "SORUN: .*imzalayan anahtari tasimiyor.*$dev_hex" "$work/dogrula.out" ||
  e2e_fail "the verifier does not name the launcher's key: $(cat "$work/dogrula.out")"

qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait HAZIR 2 120 " HATA "
qv_launcher_close "$prefix"
grep -q "yeni launcher kullanilmadi: .*$dev_hex" "$log" || e2e_fail "no refusal of the new launcher in the log"
cmp -s "$install/Qorvane Launcher.exe" "$release_launcher" || e2e_fail "the installed launcher was replaced"
[ -e "$install/Qorvane Launcher.exe.yeni" ] && e2e_fail ".yeni left behind"
[ "$(cat "$install/pack/yeni.dat")" = yeni ] || e2e_fail "version 20's new file is missing"
[ "$(tr -d '\r\n' <"$install/koruma/liste_surumu.txt")" = 20 ] || e2e_fail "version 20 was not remembered"

# A stale cache, a mirror or an attacker serves the older list, validly signed: refused like a bad
# signature, naming both versions, and nothing in the game folder changes.
cp "$work/surum10/manifest.txt" "$work/surum10/manifest.sig" "$tree/"
before=$(e2e_snapshot)
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait "HATA 2 " 1 60 HAZIR
qv_launcher_close "$prefix"
grep -q "HATA 2 eski liste: surum 10, bu klasor surum 20 listesini dogrulamisti (son sistem hatasi 1306)" "$log" ||
  e2e_fail "the older list's error line does not name both versions"
[ "$before" = "$(e2e_snapshot)" ] || e2e_fail "the game folder changed after an older list"
echo "ok"
