#!/usr/bin/env bash
# The launcher in a Wine prefix without Tahoma, as on a machine that lacks the font: the preview's
# ready screens must still carry text in their status rows and headline, and the drawing tests
# (measuring, ellipsis fitting, emphasis positions, frames) must pass with the fallback font.
# The prefix is the build folder's wineprefix-no-tahoma. Usage: font_fallback.sh <build folder>
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/lib/screen_text.sh"
export QORVANE_WINE_TAHOMA=0 QORVANE_WINEPREFIX=$build/wineprefix-no-tahoma
for f in "$build/Qorvane Launcher.exe" "$build/tests/ui_tests.exe"; do
  [ -f "$f" ] || { echo "missing: $f (build first)"; exit 1; }
done

work=$(mktemp -d /tmp/qv-font-fallback.XXXXXX)
cleanup() {
  WINEPREFIX=$QORVANE_WINEPREFIX wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
"$root/cmake/wine-prefix.sh" "$QORVANE_WINEPREFIX" </dev/null
if compgen -G "$QORVANE_WINEPREFIX/drive_c/windows/Fonts/[Tt][Aa][Hh][Oo][Mm][Aa]*" >/dev/null; then
  echo "FAIL  the prefix holds Tahoma: $QORVANE_WINEPREFIX/drive_c/windows/Fonts"
  exit 1
fi

failures=0
# Wine's own services inherit the first process's output; files keep them off CTest's pipes.
run() {  # run NAME PROGRAM ARGS...
  local name=$1 status=0
  shift
  "$root/cmake/wine-run.sh" "$@" >"$work/$name.out" 2>&1 </dev/null || status=$?
  cat "$work/$name.out"
  return $status
}

if run preview "$build/Qorvane Launcher.exe" --onizleme "Z:${work//\//\\}\\resimler"; then
  for percent in 100 150; do
    if qv_ready_screen_has_text "$work/resimler/hazir_$percent.png" 0 0 "$percent"; then
      echo "ok    the ready screen at $percent % carries text"
    else
      echo "FAIL  the ready screen at $percent % has no text"
      failures=$((failures + 1))
    fi
  done
else
  echo "FAIL  the preview failed"
  failures=$((failures + 1))
fi

if run drawing "$build/tests/ui_tests.exe" --gtest_brief=1 \
     --gtest_filter='DrawingTest.*:FrameTest.*:NewsTest.*:Preview.*'; then
  echo "ok    the drawing tests pass with the fallback font"
else
  echo "FAIL  the drawing tests with the fallback font"
  failures=$((failures + 1))
fi
echo "font fallback: $failures failure(s)"
exit $(( failures > 0 ))
