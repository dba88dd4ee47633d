#!/usr/bin/env bash
# The live check: `dogrula --adres` reads a published tree from nginx (set up as docs/server.md says)
# as the launcher does and passes it, by sizes and with --tam; then finds a missing object, one of
# the wrong size and (only with --tam) one with the right size and other bytes; and against a server
# that lets caches keep the list, answers from a cache and ignores ranges, reports each of those.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

publisher=$QV_BUILD/tools/qorvane-yayinci.exe
qv_sample_game "$game" "$launcher" 8 $((1048576)) 0
qv_sample_news "$work/haberler" "01.12.2026"
qv_publish "$prefix" "$game" "$www" 1 --sessiz --haberler-tr "$(qv_winpath "$work/haberler/haberler_tr.txt")" \
  >"$work/yayin.out" 2>&1 || { cat "$work/yayin.out"; e2e_fail "publishing"; }
qv_nginx_start "$work/nginx" "$www"
url="http://127.0.0.1:$QV_NGINX_PORT/qorvane/pc/"
key=$(cat "$QV_ROOT/keys/dev-public-key.hex")

check() {  # NAME EXPECTED_EXIT ARGS...: runs dogrula, output in $work/NAME.out
  local name=$1 expected=$2 status=0
  shift 2
  qv_wine "$prefix" "$publisher" dogrula --sessiz "$@" >"$work/$name.out" 2>&1 || status=$?
  [ "$status" = "$expected" ] || { cat "$work/$name.out"; e2e_fail "$name: exit $status, expected $expected"; }
}
expect() {  # NAME PATTERN: the output of NAME holds PATTERN
  grep -qF -- "$2" "$work/$1.out" || { cat "$work/$1.out"; e2e_fail "$1: no '$2'"; }
}
refuse() {  # NAME PATTERN: the output of NAME does not hold PATTERN
  ! grep -qF -- "$2" "$work/$1.out" || { cat "$work/$1.out"; e2e_fail "$1: unexpected '$2'"; }
}

# The tree as published: passes, with no warning about caching or ranges, by sizes and hashed.
for mode in boyut tam; do
  extra=()
  [ $mode = tam ] && extra=(--tam)
  check "saglam-$mode" 0 --adres "$url" --acik-anahtar "$key" "${extra[@]}"
  expect "saglam-$mode" "dogrulandi (verified): surum 1"
  refuse "saglam-$mode" "UYARI: manifest"
  refuse "saglam-$mode" "Range"
done
# The list and signature were asked for as the launcher asks, with a fresh query each time.
grep -qE '"GET /qorvane/pc/manifest\.txt\?r=[0-9a-f]{16} ' "$work/nginx/access.log" || e2e_fail "no cache-busting query on the list"
grep -qE '"GET /qorvane/pc/manifest\.sig\?r=[0-9a-f]{16} ' "$work/nginx/access.log" || e2e_fail "no cache-busting query on the signature"
# Sizes are checked with a one-byte range, not by downloading the objects.
grep -qE '"GET /qorvane/pc/obj/[0-9a-f]{2}/[0-9a-f]{64} .* 206 1 "bytes=' "$work/nginx/access.log" || e2e_fail "no one-byte range request"
# A wrong key fails on the signature.
check yanlis-anahtar 1 --adres "$url" --acik-anahtar "$(printf '1%.0s' $(seq 128))"
expect yanlis-anahtar "SORUN: imza bu anahtar(lar)la tutmuyor"

# Damage on the server: one object gone, one shorter, one with the same size and other bytes.
objects=$www/qorvane/pc/obj
mapfile -t picked < <(awk '$1 == "K" && $3 > 100 && $4 !~ /Launcher/ { print $2 }' "$www/qorvane/pc/manifest.txt" | sort -u | head -n 3)
[ ${#picked[@]} = 3 ] || e2e_fail "the sample game has too few files"
path_of() { echo "$objects/${1:0:2}/$1"; }
rm "$(path_of "${picked[0]}")"
truncate -s -1 "$(path_of "${picked[1]}")"
size=$(stat -c %s "$(path_of "${picked[2]}")")
qv_random_file "$(path_of "${picked[2]}")" "$size"
check bozuk-boyut 1 --adres "$url" --acik-anahtar "$key"
expect bozuk-boyut "SORUN: nesne eksik (missing object) obj/${picked[0]:0:2}/${picked[0]}"
expect bozuk-boyut "SORUN: nesne boyutu yanlis (wrong object size) obj/${picked[1]:0:2}/${picked[1]}"
refuse bozuk-boyut "${picked[2]}"
check bozuk-tam 1 --adres "$url" --acik-anahtar "$key" --tam
expect bozuk-tam "SORUN: nesne ozeti yanlis (wrong object hash) obj/${picked[2]:0:2}/${picked[2]}"
expect bozuk-tam "nesne eksik (missing object) obj/${picked[0]:0:2}/${picked[0]}"
expect bozuk-tam "dogrulanamadi (verification failed): 3 sorun"

# A server in front of a repaired copy that lets caches keep the list, answers the list from a cache
# although its query is new, and ignores ranges (Python's file server sends whole files).
qv_publish "$prefix" "$game" "$www" 2 --sessiz >"$work/yayin2.out" 2>&1 || { cat "$work/yayin2.out"; e2e_fail "republishing"; }
port_file=$work/python.port
python3 - "$www" "$port_file" >"$work/python.out" 2>&1 <<'PY' &
import functools, http.server, sys
class Handler(http.server.SimpleHTTPRequestHandler):
    def end_headers(self):
        if "/manifest." in self.path:
            self.send_header("Cache-Control", "public, max-age=600")
        if "/manifest.txt" in self.path:
            self.send_header("Age", "42")
            self.send_header("X-Cache", "HIT")
        super().end_headers()
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=sys.argv[1]))
open(sys.argv[2], "w").write(str(server.server_address[1]))
server.serve_forever()
PY
python_pid=$!
e2e_extra_cleanup="kill $python_pid"
for i in $(seq 100); do [ -s "$port_file" ] && break; sleep 0.1; done
[ -s "$port_file" ] || e2e_fail "the Python server did not start: $(cat "$work/python.out")"
check onbellek 1 --adres "http://127.0.0.1:$(cat "$port_file")/qorvane/pc/" --acik-anahtar "$key"
expect onbellek "SORUN: manifest.txt yeni bir ?r= sorgusuna ragmen onbellekten geldi"
expect onbellek "UYARI: manifest.sig onbelleklenebilir"
expect onbellek "UYARI: sunucu aralik isteklerine (Range) 206 yerine 200"
expect onbellek "dogrulanamadi (verification failed): 1 sorun"

# Nothing listening, and the option rules.
kill "$python_pid"
wait "$python_pid" 2>/dev/null || true
e2e_extra_cleanup=:
check kapali 1 --adres "http://127.0.0.1:$(cat "$port_file")/qorvane/pc/" --acik-anahtar "$key"
expect kapali "SORUN: manifest.txt alinamadi (cannot be fetched)"
check adres-degil 1 --adres "indir.example.com/qorvane/pc/" --acik-anahtar "$key"
expect adres-degil "http:// ya da https://"
check tam-yerel 2 --hedef "$(qv_winpath "$www/qorvane/pc")" --tam
check ikisi 2 --hedef "$(qv_winpath "$www/qorvane/pc")" --adres "$url"
echo "ok"
