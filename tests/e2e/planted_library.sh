#!/usr/bin/env bash
# Libraries planted beside the programs are never loaded. Wine is told to prefer a native file for
# the system libraries the programs use (winhttp, bcrypt, dwmapi, gdiplus), and a DLL that marks its
# own loading lies beside them under each of those names. A control program with a static WinHTTP
# import must load it (else the test would prove nothing); the launcher, run until it has used
# WinHTTP against a closed port, and the publisher, run until it has made a key with CNG, must not.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

fixtures=$QV_BUILD/tests/fixtures
for f in planted.dll static_import_probe.exe; do
  [ -f "$fixtures/$f" ] || e2e_fail "not built: $fixtures/$f"
done
export QV_DLL_OVERRIDES="winhttp,bcrypt,dwmapi,gdiplus=n,b"
plant() {  # FOLDER
  local name
  for name in winhttp bcrypt dwmapi gdiplus; do cp "$fixtures/planted.dll" "$1/$name.dll"; done
}
loaded() {  # FOLDER: the planted libraries that were loaded, one name a line
  find "$1" -maxdepth 1 -iname '*.dll.geldi' -printf '%f\n' | sed 's/\.geldi$//'
}

probe=$work/probe
mkdir -p "$probe"
cp "$fixtures/static_import_probe.exe" "$probe/"
plant "$probe"
qv_wine "$prefix" "$(qv_winpath "$probe/static_import_probe.exe")" >"$work/probe.out" 2>&1 || true
loaded "$probe" | grep -qix winhttp.dll ||
  e2e_fail "Wine did not load the planted winhttp.dll for a static import: the test cannot see the fault"

qv_install_launcher "$install" "$launcher"
plant "$install"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
qv_launcher_start "$prefix" "$install" "http://127.0.0.1:$port/qorvane/pc/" hidden
e2e_wait "HATA 1 " 1 60 HAZIR
qv_launcher_close "$prefix"
[ -z "$(loaded "$install")" ] || e2e_fail "the launcher loaded: $(loaded "$install" | tr '\n' ' ')"

tools=$work/yayinci
mkdir -p "$tools"
cp "$QV_BUILD/tools/qorvane-yayinci.exe" "$tools/"
plant "$tools"
qv_wine "$prefix" "$(qv_winpath "$tools/qorvane-yayinci.exe")" anahtar-uret \
  --ozel-anahtar "$(qv_winpath "$tools/anahtar.txt")" >"$work/publisher.out" 2>&1 ||
  e2e_fail "the publisher could not make a key: $(tail -n 3 "$work/publisher.out")"
[ -s "$tools/anahtar.txt" ] || e2e_fail "no key file"
[ -z "$(loaded "$tools")" ] || e2e_fail "the publisher loaded: $(loaded "$tools" | tr '\n' ' ')"
echo "ok (the control loaded the planted winhttp.dll; the launcher and the publisher loaded none)"
