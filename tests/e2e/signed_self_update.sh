#!/usr/bin/env bash
# A signed release end to end: scripts/release signs the launcher and the publisher with a throwaway
# code-signing certificate (a test CA and its leaf, made here), the signatures verify against that CA
# and no other, both signed programs still run under Wine, and an installed signed launcher replaces
# itself with a newer signed one. The newer one is the same build signed again through the other
# credential form (certificate and key instead of PKCS#12): its signature block, and so its hash,
# differ. The launcher carries no host (QORVANE_SUNUCU names the server), so the release reuses the
# release_reproducible test's second build, which ends without a host, when it is there.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

rel_root=$QV_BUILD/release-check/kaynak
rel_build=$QV_BUILD/release-check/derleme
if [ ! -x "$rel_root/scripts/release" ] || [ ! -f "$rel_build/CMakeCache.txt" ]; then
  rel_root=$QV_ROOT
  rel_build=$work/derleme
fi

# The throwaway certificates: a CA and a code-signing leaf under it, and an unrelated CA.
certs=$work/imza
mkdir -p "$certs"
(
  cd "$certs"
  for ca in kok baska-kok; do
    openssl req -x509 -newkey rsa:2048 -nodes -keyout $ca.key -out $ca.pem -days 2 -subj "/CN=Qorvane Test $ca" \
      -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
  done
  openssl req -newkey rsa:2048 -nodes -keyout imza.key -out imza.csr -subj "/CN=Qorvane Test Imza"
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >imza.ext
  openssl x509 -req -in imza.csr -CA kok.pem -CAkey kok.key -CAcreateserial -days 2 -extfile imza.ext -out imza.pem
  openssl pkcs12 -export -inkey imza.key -in imza.pem -certfile kok.pem -out imza.pfx -passout pass:e2e-parola
) >"$work/openssl.out" 2>&1 || { cat "$work/openssl.out"; e2e_fail "making the test certificates"; }

release() {  # OUT_FOLDER, with the signing variables in the environment
  env -u QORVANE_DEFAULT_HOST QORVANE_BUILD_DIR="$rel_build" "$rel_root/scripts/release" --gelistirme-anahtari \
    --sunucusuz "$1" >"$1.out" 2>&1 ||
    { tail -n 30 "$1.out"; e2e_fail "scripts/release into $1"; }
}
QORVANE_IMZA_PFX=$certs/imza.pfx QORVANE_IMZA_PAROLA=e2e-parola release "$work/surum1"
QORVANE_IMZA_SERTIFIKA=$certs/imza.pem QORVANE_IMZA_ANAHTAR=$certs/imza.key release "$work/surum2"
signed="$work/surum1/Qorvane Launcher.exe"
newer="$work/surum2/Qorvane Launcher.exe"

verifies() {  # FILE CA
  osslsigncode verify -CAfile "$2" -in "$1" >"$work/verify.out" 2>&1
}
for f in "$signed" "$work/surum1/qorvane-yayinci.exe" "$newer" "$work/surum2/qorvane-yayinci.exe"; do
  verifies "$f" "$certs/kok.pem" || { cat "$work/verify.out"; e2e_fail "signature of $f does not verify"; }
done
verifies "$signed" "$certs/baska-kok.pem" && e2e_fail "the signature verifies against an unrelated CA"
for rel in "$work/surum1" "$work/surum2"; do
  (cd "$rel" && sha256sum --quiet -c SHA256SUMS) || e2e_fail "$rel/SHA256SUMS does not verify"
  [ -z "$(find "$rel" -name '*imzasiz*' -o -name 'README-IMZASIZ.txt')" ] || e2e_fail "$rel is marked unsigned"
done
cmp -s "$signed" "$newer" && e2e_fail "the two signed launchers are identical: no update to make"

# The signed programs run: the publisher's help, the launcher's preview road.
qv_wine "$prefix" "$work/surum1/qorvane-yayinci.exe" yardim >"$work/yardim.out" 2>&1 ||
  e2e_fail "signed publisher: yardim failed"
grep -q "qorvane-yayinci yayinla" "$work/yardim.out" || e2e_fail "signed publisher: no help text"
qv_wine "$prefix" "$signed" --onizleme "$(qv_winpath "$work/onizleme")" >"$work/onizleme.out" 2>&1 ||
  e2e_fail "signed launcher: preview failed"
[ "$(find "$work/onizleme" -name '*.png' | wc -l)" -eq 52 ] || e2e_fail "signed launcher: not 52 preview pictures"

# Published with the signed publisher, installed as the signed launcher, then the newer one.
export QV_PUBLISHER=$work/surum1/qorvane-yayinci.exe
qv_sample_game "$game" "$signed" 8 $((2 * 1048576)) 0
qv_publish "$prefix" "$game" "$www" 1 --sessiz >"$work/yayin1.out" 2>&1 ||
  { cat "$work/yayin1.out"; e2e_fail "publishing version 1"; }
# The publisher notes an unsigned launcher; this one is signed.
grep -q "launcher imzasiz" "$work/yayin1.out" && e2e_fail "the signed launcher was noted as unsigned"
qv_nginx_start "$work/nginx" "$www"
url="http://127.0.0.1:$QV_NGINX_PORT/qorvane/pc/"
qv_install_launcher "$install" "$signed"
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait HAZIR 1 120 " HATA "
qv_compare_trees "$game" "$install" || e2e_fail "first run: the install folder differs from the game"
qv_launcher_close "$prefix"

cp "$newer" "$game/Qorvane Launcher.exe"
qv_publish "$prefix" "$game" "$www" 2 --sessiz || e2e_fail "publishing version 2"
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait "launcher guncellendi, yeniden baslatiliyor" 1 90 " HATA "
e2e_wait "(--guncellendi)" 1 60 " HATA "
e2e_wait HAZIR 2 120 " HATA "
cmp -s "$newer" "$install/Qorvane Launcher.exe" || e2e_fail "the installed launcher is not the newer signed one"
verifies "$install/Qorvane Launcher.exe" "$certs/kok.pem" || e2e_fail "the updated launcher's signature does not verify"
for _ in $(seq 50); do [ -e "$install/Qorvane Launcher.exe.eski" ] || break; sleep 0.1; done
[ -e "$install/Qorvane Launcher.exe.eski" ] && e2e_fail ".eski left behind"
echo "ok"
