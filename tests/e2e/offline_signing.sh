#!/usr/bin/env bash
# Signing without the build: the build machine prepares version 2 (objects in place, the live list
# untouched), the signing machine is shown the list's version, files, bytes and the launcher's keys,
# signs only on a yes and refuses a key the launcher lacks; the build machine refuses a signature of
# another list, places the signed one, and a launcher of version 1 updates to it.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

publisher=$QV_BUILD/tools/qorvane-yayinci.exe
pub() { qv_wine "$prefix" "$publisher" "$@"; }
target=$www/qorvane/pc
qv_sample_game "$game" "$launcher" 10 $((1048576)) 0
qv_sample_rules "$work/kurallar.txt"
qv_publish "$prefix" "$game" "$www" 1 --sessiz --kurallar "$(qv_winpath "$work/kurallar.txt")" ||
  e2e_fail "publishing version 1"
qv_nginx_start "$work/nginx" "$www"
url="http://127.0.0.1:$QV_NGINX_PORT/qorvane/pc/"
qv_install_launcher "$install" "$launcher"
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait HAZIR 1 120 " HATA "
qv_launcher_close "$prefix"

# The build machine: no private key anywhere in this step.
qv_sample_update "$game"
qv_sample_news "$work/haberler" "08.12.2026"
cp "$target/manifest.txt" "$work/canli-1.txt"
pub hazirla --oyun "$(qv_winpath "$game")" --hedef "$(qv_winpath "$target")" --surum 2 --sessiz \
  --haberler-tr "$(qv_winpath "$work/haberler/haberler_tr.txt")" >"$work/hazirla.out" 2>&1 ||
  { cat "$work/hazirla.out"; e2e_fail "hazirla"; }
grep -q "imzaya hazir (ready to sign): surum 2" "$work/hazirla.out" || { cat "$work/hazirla.out"; e2e_fail "no summary"; }
cmp -s "$target/manifest.txt" "$work/canli-1.txt" || e2e_fail "hazirla changed the live list"
[ ! -e "$target/haberler_tr.txt" ] || e2e_fail "hazirla put the news live"
while read -r kind hash size rest; do
  [ "$kind" = K ] || [ "$kind" = I ] || continue
  [ "$(stat -c %s "$target/obj/${hash:0:2}/$hash" 2>/dev/null)" = "$size" ] || e2e_fail "object of $rest not in place"
done <"$target/hazirlik/manifest.txt"

# The signing machine gets the list alone.
usb=$work/usb
mkdir -p "$usb"
cp "$target/hazirlik/manifest.txt" "$usb/manifest.txt"
files=$(grep -c '^[KI] ' "$usb/manifest.txt")
bytes=$(awk '$1 == "K" || $1 == "I" { n += $3 } END { print n }' "$usb/manifest.txt")
fingerprint=$(python3 -c 'import hashlib, sys; print(hashlib.sha256(bytes.fromhex(open(sys.argv[1]).read().strip())).hexdigest())' \
  "$QV_ROOT/keys/dev-public-key.hex")
sign() {  # ANSWER NAME KEYFILE [options]
  local answer=$1 name=$2 keyfile=$3
  shift 3
  printf '%s\n' "$answer" | pub imzala --liste "$(qv_winpath "$usb/manifest.txt")" \
    --ozel-anahtar "$(qv_winpath "$keyfile")" "$@" >"$work/$name.out" 2>&1
}
if sign h imzala-hayir "$QV_ROOT/keys/dev-private-key.txt" --gelistirme; then e2e_fail "signed without a yes"; fi
for shown in "surum (version): 2" "dosya (files): $files" "bayt (bytes): $bytes " "parmak izi (fingerprint) $fingerprint" \
             "imzalanmadi (not signed)"; do
  grep -qF -- "$shown" "$work/imzala-hayir.out" || { cat "$work/imzala-hayir.out"; e2e_fail "imzala did not show '$shown'"; }
done
[ ! -e "$usb/manifest.sig" ] || e2e_fail "a signature was written without a yes"
pub anahtar-uret --ozel-anahtar "$(qv_winpath "$work/baska-anahtar.txt")" >/dev/null 2>&1 || e2e_fail "anahtar-uret"
if sign e imzala-baska "$work/baska-anahtar.txt"; then e2e_fail "signed with a key the launcher lacks"; fi
grep -q "bu listeyi imzalayan anahtari tasimiyor" "$work/imzala-baska.out" || { cat "$work/imzala-baska.out"; e2e_fail "no key mismatch"; }
if sign e imzala-gelistirme "$QV_ROOT/keys/dev-private-key.txt"; then e2e_fail "signed with the development key unasked"; fi
sign e imzala "$QV_ROOT/keys/dev-private-key.txt" --gelistirme || { cat "$work/imzala.out"; e2e_fail "imzala"; }
[ "$(stat -c %s "$usb/manifest.sig")" = 64 ] || e2e_fail "no 64-byte signature"

# Back on the build machine: a signature of another list is refused and nothing goes live.
cp "$usb/manifest.sig" "$work/imza.sig"
sed -i 's/^#surum 2$/#surum 3/' "$target/hazirlik/manifest.txt"
if pub yerlestir --hedef "$(qv_winpath "$target")" --imza "$(qv_winpath "$work/imza.sig")" --gelistirme \
     >"$work/yerlestir-bozuk.out" 2>&1; then
  e2e_fail "placed a list the signature does not cover"
fi
grep -q "imza hazirlanmis listeyle tutmuyor" "$work/yerlestir-bozuk.out" || { cat "$work/yerlestir-bozuk.out"; e2e_fail "no mismatch"; }
cmp -s "$target/manifest.txt" "$work/canli-1.txt" || e2e_fail "a refused placement changed the live list"
cp "$usb/manifest.txt" "$target/hazirlik/manifest.txt"
pub yerlestir --hedef "$(qv_winpath "$target")" --imza "$(qv_winpath "$work/imza.sig")" --gelistirme \
  >"$work/yerlestir.out" 2>&1 || { cat "$work/yerlestir.out"; e2e_fail "yerlestir"; }
cmp -s "$target/manifest.txt" "$usb/manifest.txt" || e2e_fail "the live list is not the signed one"
cmp -s "$target/manifest.sig" "$usb/manifest.sig" || e2e_fail "the live signature is not the signed one"
cmp -s "$target/haberler_tr.txt" "$work/haberler/haberler_tr.txt" || e2e_fail "the prepared news did not go live"
[ ! -e "$target/hazirlik" ] || e2e_fail "hazirlik was left behind"
cmp -s "$target/gecmis/000001-1.txt" "$work/canli-1.txt" || e2e_fail "the replaced list is not in the history"
# The safe order: news, list, signature (modification times, as the publish writes them).
[ ! "$target/manifest.sig" -ot "$target/manifest.txt" ] && [ ! "$target/manifest.txt" -ot "$target/haberler_tr.txt" ] ||
  e2e_fail "the documents were not placed news, list, signature"

qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait HAZIR 2 120 " HATA "
qv_launcher_close "$prefix"
qv_compare_trees "$game" "$install" || e2e_fail "the launcher did not converge on the placed list"
echo "ok"
