#!/usr/bin/env bash
# The same install over HTTPS: a throw-away certificate authority, trusted only inside this test's
# own Wine prefix, signs nginx's certificate for 127.0.0.1. Before the authority is trusted the run
# fails with error kind 1 and downloads nothing; once trusted (scripts/trust-test-ca, as the docs
# tell an operator) it converges.
E2E_PREFIX=${QV_BUILD:?}/e2e-tls-wineprefix
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

tls=$work/tls
mkdir -p "$tls"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$tls/ca.key" -out "$tls/ca.pem" -days 2 \
  -subj "/CN=Qorvane e2e test CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout "$tls/server.key" -out "$tls/server.csr" -subj "/CN=127.0.0.1" 2>/dev/null
# Wine matches the host only against DNS names (an IP address entry alone fails with a name
# mismatch), so the address is listed both ways; Windows uses the IP entry.
printf 'subjectAltName=IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n' >"$tls/ext.cnf"
openssl x509 -req -in "$tls/server.csr" -CA "$tls/ca.pem" -CAkey "$tls/ca.key" -CAcreateserial \
  -out "$tls/server.pem" -days 2 -extfile "$tls/ext.cnf" 2>/dev/null
openssl x509 -in "$tls/ca.pem" -outform DER -out "$tls/ca.der"

trust() { QORVANE_WINEPREFIX=$prefix "$QV_ROOT/scripts/trust-test-ca" "$@" >>"$work/trust.out"; }
untrust() { trust --sil "$tls/ca.der"; }
e2e_extra_cleanup=untrust
untrust || e2e_fail "could not clear the prefix's root store"

qv_sample_game "$game" "$launcher" 20 $((33 * 1048576)) 0
qv_publish "$prefix" "$game" "$www" 1 --sessiz || e2e_fail "publishing"
qv_nginx_start "$work/nginx" "$www" "$tls/server.pem" "$tls/server.key"
url="https://127.0.0.1:$QV_NGINX_PORT/qorvane/pc/"
qv_install_launcher "$install" "$launcher"

qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait "HATA 1 " 1 60 HAZIR
qv_launcher_close "$prefix"
# The TLS failure's own error: 12175 on Windows, 12157 under Wine (README, Wine notes).
grep -Eq "HATA 1 liste manifest.txt alinamadi \(son sistem hatasi (12175|12157)\)" "$log" ||
  e2e_fail "the error line does not carry the certificate failure's detail and code"
[ "$(find "$install" -type f | wc -l)" -le 4 ] || e2e_fail "files were downloaded from an untrusted server"

trust "$tls/ca.pem" || { cat "$work/trust.out"; e2e_fail "could not trust the test authority"; }
qv_launcher_start "$prefix" "$install" "$url" hidden
e2e_wait HAZIR 1 120 " HATA "
qv_compare_trees "$game" "$install" || e2e_fail "the install folder differs from the game"
grep -q 'TLSv1\.[23]$' "$work/nginx/access.log" || e2e_fail "no TLS 1.2 or 1.3 request in the access log"
echo "ok ($(grep -o 'TLSv1\.[23]$' "$work/nginx/access.log" | sort -u | tr '\n' ' '))"
