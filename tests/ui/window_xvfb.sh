#!/usr/bin/env bash
# Drives the built launcher window under Wine with real X input (xdotool) on an X display:
#   - size at 96 and 144 DPI, centred on the screen;
#   - a press dragged off a button, or released on another button, dispatches nothing;
#   - Enter does nothing while the primary button is disabled (stalled server);
#   - dragging the caption area moves the window;
#   - a click on the close button ends the process within the 1,500 ms close bound (plus the
#     process's own exit), even with the worker stuck in a transfer;
#   - the connection-error screen; Tab, Tab and Enter close the launcher from the keyboard;
#   - when the publisher is built, on the ready screen Tab reaches the language toggle and Enter
#     switches the game's language; after a mouse click Enter starts the game with a token and
#     closes the launcher.
# Screenshots land in <build>/tests/ui/screens. Usage: window_xvfb.sh <build folder>
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/lib/wine.sh"
source "$root/scripts/lib/xvfb.sh"
prefixes=("$build/wineprefix" "$build/wineprefix-dpi144")
if [ -z "${DISPLAY:-}" ]; then
  # A wineserver that outlived an earlier run has no X screen of this display (its desktop stays
  # at 1024 x 768); the prefixes' own start again on the display started here.
  for prefix in "${prefixes[@]}"; do
    [ -d "$prefix" ] && qv_wineserver "$prefix" -k 2>/dev/null || true
  done
  qv_xvfb_start
fi

launcher="$build/Qorvane Launcher.exe"
game_client="$build/tests/fixtures/Qorvane.exe"
publisher="$build/tools/qorvane-yayinci.exe"
shots="$build/tests/ui/screens"
for f in "$launcher" "$game_client"; do [ -f "$f" ] || { echo "missing: $f (build first)"; exit 1; }; done
mkdir -p "$shots"
work=$(mktemp -d /tmp/qv-window.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for prefix in "${prefixes[@]}"; do
    [ -d "$prefix" ] && qv_wineserver "$prefix" -k 2>/dev/null || true
  done
  rm -rf "$work"
  qv_xvfb_stop
}
trap cleanup EXIT

failures=0
check() {  # check <description> <command...>
  local what=$1; shift
  if "$@"; then echo "ok    $what"; else echo "FAIL  $what"; failures=$((failures + 1)); fi
}
now_ms() { date +%s%3N; }
# Close bound: the worker wait (at most 1,500 ms), plus Wine hiding the window: without a window
# manager its X11 driver waits 2 s for a withdrawn state that never comes (measured: 2.0 s), plus
# 1.5 s for the process to end.
close_bound_ms=5000

# The 144 DPI prefix is a separate one, so that tests running beside this one keep 96 DPI.
dpi_prefix() {
  local prefix=$build/wineprefix-dpi144
  if [ ! -f "$prefix/.dpi144" ]; then
    "$root/cmake/wine-prefix.sh" "$prefix" >/dev/null 2>&1 </dev/null
    (qv_wine_env "$prefix" && timeout 120 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
      /d 144 /f >/dev/null 2>&1)
    (qv_wine_env "$prefix" && timeout 60 wineserver -w)
    touch "$prefix/.dpi144"
  fi
  echo "$prefix"
}

# A server that accepts connections and never answers: the worker sits in a receive. Sets $port.
start_stalling_server() {
  local portfile=$work/stall.port
  python3 - "$portfile" >/dev/null 2>&1 <<'EOF' &
import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", 0))
s.listen(64)
open(sys.argv[1], "w").write(str(s.getsockname()[1]))
held = []
while True:
    held.append(s.accept()[0])
EOF
  pids+=($!)
  for _ in $(seq 100); do [ -s "$portfile" ] && break; sleep 0.1; done
  port=$(cat "$portfile")
}

closed_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# make_game <name>: a game folder holding the launcher and the test client (so it counts as installed).
make_game() {
  local dir=$work/$1
  mkdir -p "$dir/koruma"
  cp "$launcher" "$dir/"
  cp "$game_client" "$dir/Qorvane.exe"
  echo "$dir"
}

# start_launcher <game folder> <prefix> <server url> [start.exe options]: runs it in the background,
# sets $lpid and $wid. With options it goes through start.exe /wait, which ends with the launcher.
start_launcher() {
  local dir=$1 prefix=$2 url=$3 via=()
  [ $# -gt 3 ] && via=(start /wait "${@:4}" /unix)
  (cd "$dir" && QORVANE_WINEPREFIX=$prefix QORVANE_SUNUCU=$url exec "$root/cmake/wine-run.sh" \
    "${via[@]}" "$dir/Qorvane Launcher.exe") >>"$work/launcher.log" 2>&1 &
  lpid=$!
  pids+=($lpid)
  wid=""
  local t0
  t0=$(now_ms)
  while [ -z "$wid" ] && [ $(( $(now_ms) - t0 )) -lt 90000 ]; do
    wid=$(xdotool search --onlyvisible --name '^Qorvane Launcher$' 2>/dev/null | head -n1 || true)
    [ -n "$wid" ] || sleep 0.3
  done
  [ -n "$wid" ] || { echo "FAIL  the launcher window never appeared"; exit 1; }
  sleep 1.5  # a few frames painted
}

geometry() {  # sets X Y WIDTH HEIGHT of $wid
  eval "$(xdotool getwindowgeometry --shell "$wid")"
}

# click_design <scale> <dx> <dy>: left click at a design point of the window.
at() { echo $((X + $(python3 -c "print(int($2 * $1))"))) $((Y + $(python3 -c "print(int($3 * $1))"))); }

alive() { kill -0 "$lpid" 2>/dev/null; }

wait_exit_ms() {  # milliseconds until $lpid ends (gives up after 20 s)
  local t0
  t0=$(now_ms)
  while alive && [ $(( $(now_ms) - t0 )) -lt 20000 ]; do sleep 0.02; done
  echo $(( $(now_ms) - t0 ))
}

shot() { import -window root "$shots/$1.png"; echo "      screenshot $shots/$1.png"; }

# ---- 96 DPI, worker stalled in a transfer ----------------------------------------------------
start_stalling_server
game=$(make_game stalled)
start_launcher "$game" "$build/wineprefix" "http://127.0.0.1:$port/qorvane/pc/"
geometry
check "96 DPI window is 960 x 560 (got ${WIDTH} x ${HEIGHT})" test "$WIDTH" -eq 960 -a "$HEIGHT" -eq 560
check "centred on the 1920 x 1080 screen (at $X,$Y)" test "$X" -eq 480 -a "$Y" -eq 260
shot connecting-96

# Press on the close button, drag off to the background, release: nothing happens.
read -r cx cy < <(at 1 927 28)
read -r bx by < <(at 1 400 150)
xdotool mousemove --sync "$cx" "$cy" mousedown 1
sleep 0.2
xdotool mousemove --sync "$bx" "$by"
sleep 0.2
xdotool mouseup 1
sleep 1
check "press on close dragged off and released elsewhere: still running" alive
# Press on close, release on minimise: nothing either.
read -r mx my < <(at 1 893 28)
xdotool mousemove --sync "$cx" "$cy" mousedown 1
sleep 0.2
xdotool mousemove --sync "$mx" "$my"
sleep 0.2
xdotool mouseup 1
sleep 1
check "press on close released on minimise: still running and visible" \
  bash -c "kill -0 $lpid && xdotool search --onlyvisible --name '^Qorvane Launcher$' >/dev/null"

# Enter while connecting: the primary button is disabled, so no game starts.
xdotool key Return
sleep 2
check "Enter with the primary button disabled starts no game" test ! -e "$game/oyun_kaydi.txt"
check "... and keeps the launcher running" alive

# Drag the caption area by (+120, +70).
read -r gx gy < <(at 1 300 120)
xdotool mousemove --sync "$gx" "$gy" mousedown 1
for i in 1 2 3 4 5 6; do
  xdotool mousemove --sync $((gx + 20 * i)) $((gy + 12 * i - i / 3))
  sleep 0.05
done
xdotool mousemove --sync $((gx + 120)) $((gy + 70))
sleep 0.2
xdotool mouseup 1
sleep 0.8
oldX=$X oldY=$Y
geometry
check "dragging the caption moved the window by (+120, +70) (now at $X,$Y from $oldX,$oldY)" \
  test $((X - oldX)) -eq 120 -a $((Y - oldY)) -eq 70
shot dragged-96

# Close with the worker blocked in a receive: the window waits at most 1,500 ms for it.
read -r cx cy < <(at 1 927 28)
xdotool mousemove --sync "$cx" "$cy"
sleep 0.3
shot close-hover-96
xdotool click 1
ms=$(wait_exit_ms)
echo "      close click to process exit: $ms ms"
check "close button ends the process within the bound ($ms ms < $close_bound_ms ms)" test "$ms" -lt "$close_bound_ms"
check "close button ended the process" bash -c "! kill -0 $lpid 2>/dev/null"

# ---- 96 DPI, connection refused: the error screen counts down to the automatic retry -------------
game=$(make_game refused)
start_launcher "$game" "$build/wineprefix" "http://127.0.0.1:$(closed_port)/qorvane/pc/"
sleep 3
shot connection-error-96
geometry
read -r cx cy < <(at 1 927 28)
xdotool mousemove --sync "$cx" "$cy" click 1
ms=$(wait_exit_ms)
echo "      close click to process exit (idle worker): $ms ms"
check "close in the error state ends the process ($ms ms)" test "$ms" -lt "$close_bound_ms"

# The keyboard alone: Tab to the minimise button, Tab to the close button, Enter.
game=$(make_game keyboard)
start_launcher "$game" "$build/wineprefix" "http://127.0.0.1:$(closed_port)/qorvane/pc/"
geometry
read -r gx gy < <(at 1 300 120)
xdotool mousemove --sync "$gx" "$gy"  # keys go to the window under the pointer
xdotool key Tab
sleep 0.5
xdotool key Tab
sleep 0.5
shot close-focused-96
xdotool key Return
ms=$(wait_exit_ms)
check "Tab, Tab, Enter: the focused close button ends the process ($ms ms)" test "$ms" -lt "$close_bound_ms"

# ---- started maximised: the fixed-size window still shows normally ---------------------------------
game=$(make_game maximised)
start_launcher "$game" "$build/wineprefix" "http://127.0.0.1:$(closed_port)/qorvane/pc/" /max
geometry
check "started with SW_SHOWMAXIMIZED: normal 960 x 560 at the centre (${WIDTH} x ${HEIGHT} at $X,$Y)" \
  test "$WIDTH" -eq 960 -a "$HEIGHT" -eq 560 -a "$X" -eq 480 -a "$Y" -eq 260
read -r cx cy < <(at 1 927 28)
xdotool mousemove --sync "$cx" "$cy" click 1
ms=$(wait_exit_ms)
check "... and closes ($ms ms)" test "$ms" -lt "$close_bound_ms"

# ---- 144 DPI --------------------------------------------------------------------------------------
prefix144=$(dpi_prefix)
game=$(make_game dpi144)
start_launcher "$game" "$prefix144" "http://127.0.0.1:$(closed_port)/qorvane/pc/"
geometry
check "144 DPI window is 1440 x 840 (got ${WIDTH} x ${HEIGHT})" test "$WIDTH" -eq 1440 -a "$HEIGHT" -eq 840
check "centred at 144 DPI (at $X,$Y)" test "$X" -eq 240 -a "$Y" -eq 120
sleep 2
shot error-144
read -r cx cy < <(at 1.5 927 28)
xdotool mousemove --sync "$cx" "$cy" click 1
ms=$(wait_exit_ms)
check "144 DPI close button (scaled hit regions) ends the process ($ms ms)" test "$ms" -lt "$close_bound_ms"

# ---- hidden mode: QORVANE_GIZLI present with an empty value ----------------------------------------
game=$(make_game hidden)
export QORVANE_GIZLI=
start_launcher "$game" "$build/wineprefix" "http://127.0.0.1:$(closed_port)/qorvane/pc/"
unset QORVANE_GIZLI
geometry
check "hidden window keeps its size (${WIDTH} x ${HEIGHT})" test "$WIDTH" -eq 960 -a "$HEIGHT" -eq 560
shot hidden-96
read -r cx cy < <(at 1 927 28)
xdotool mousemove --sync "$cx" "$cy" click 1
sleep 2
check "hidden window lets a click on its close button through" alive
kill "$lpid" 2>/dev/null || true
wait_exit_ms >/dev/null

# ---- Ready: Enter plays (needs the publisher to build a signed tree) ----------------------------
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
if [ -f "$publisher" ]; then
  game=$(make_game ready)
  # The published folder holds the same two executables, so the run finds nothing to fetch or replace.
  mkdir -p "$work/published" "$work/site/qorvane/pc"
  cp "$game/Qorvane Launcher.exe" "$game/Qorvane.exe" "$work/published/"
  QORVANE_WINEPREFIX=$build/wineprefix timeout 120 "$root/cmake/wine-run.sh" "$publisher" yayinla \
    --oyun "$(winpath "$work/published")" --hedef "$(winpath "$work/site/qorvane/pc")" \
    --ozel-anahtar "$(winpath "$root/keys/dev-private-key.txt")" --surum 7 --gelistirme --sessiz >"$work/publish.log" 2>&1 </dev/null
  http_port=$(closed_port)
  (cd "$work/site" && exec python3 -m http.server "$http_port" --bind 127.0.0.1) >/dev/null 2>&1 &
  pids+=($!)
  start_launcher "$game" "$build/wineprefix" "http://127.0.0.1:$http_port/qorvane/pc/"
  geometry
  t0=$(now_ms)
  until grep -qs HAZIR "$game/koruma/launcher_gunluk.txt" || [ $(( $(now_ms) - t0 )) -gt 40000 ]; do sleep 0.5; done
  sleep 1
  shot ready-96
  # Keys go to the window under the pointer (no window manager: the input focus follows it).
  read -r gx gy < <(at 1 300 120)
  xdotool mousemove --sync "$gx" "$gy"
  # Minimise, close, repair, game folder, then the language toggle; Enter on it switches the
  # game's language instead of starting the game.
  for _ in 1 2 3 4 5; do xdotool key Tab; sleep 0.3; done
  shot language-focused-96
  language_before=$(cat "$game/pack/dil.cfg" 2>/dev/null || true)  # none: the user's language shows
  xdotool key Return
  language_now() { cat "$game/pack/dil.cfg" 2>/dev/null || true; }
  t0=$(now_ms)
  while [ "$(language_now)" = "$language_before" ] && [ $(( $(now_ms) - t0 )) -lt 10000 ]; do sleep 0.2; done
  language_switched() { [[ $(language_now) =~ ^(en|tr) ]] && [ "$(language_now)" != "$language_before" ]; }
  check "Tab to the language toggle and Enter switched the game's language ('$language_before' -> '$(language_now)')" \
    language_switched
  check "... without starting the game" test ! -e "$game/oyun_kaydi.txt"
  # A click on the background is mouse use: focus and its ring go, and Enter plays again.
  xdotool click 1
  sleep 0.5
  t0=$(now_ms)
  while [ ! -e "$game/oyun_kaydi.txt" ] && [ $(( $(now_ms) - t0 )) -lt 40000 ]; do
    xdotool key Return
    sleep 1
  done
  record=$(cat "$game/oyun_kaydi.txt" 2>/dev/null || true)
  token=$(sed -n 's/^belge=//p' <<<"$record" | tr -d '\r')
  check "Enter on the ready screen started the game" test -n "$record"
  komut=$(sed -n 's/^komut=//p' <<<"$record" | tr -d '\r')
  token_ok() { [[ $token =~ ^[0-9a-f]{16}$ ]]; }
  command_ok() { [[ $komut == '"'*'\Qorvane.exe" --qorvane-belge '"$token" ]]; }
  check "the game got a 16-digit lowercase hex token in its environment ($token)" token_ok
  check "... and the same token as its whole argument text ($komut)" command_ok
  ms=$(wait_exit_ms)
  check "the launcher closed after starting the game ($ms ms)" test "$ms" -lt "$close_bound_ms"
else
  echo "skip  Enter on the ready screen: publisher not built ($publisher)"
fi

echo "window tests: $failures failure(s)"
exit $(( failures > 0 ))
