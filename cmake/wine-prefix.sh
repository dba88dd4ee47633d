#!/usr/bin/env bash
# Creates a Wine prefix once (guarded by a lock so parallel test runs do not boot it twice), with
# Wine's Tahoma, regular and bold, in its Fonts folder: GDI+ sees no font outside that folder. A
# prefix made earlier without them gets them copied in; when they cannot be had, this fails.
# QORVANE_WINE_TAHOMA=0 makes and keeps a prefix without them (the font fallback test's).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/wine.sh"
prefix=$1
wine_fonts=/usr/share/wine/fonts
fonts=$prefix/drive_c/windows/Fonts
with_tahoma=${QORVANE_WINE_TAHOMA:-1}
# Wine links the user's Desktop, Documents, Downloads... to the Unix home; the install tests write
# shortcuts and files there, so the prefix gets folders of its own instead (also in older prefixes).
own_user_folders() {
  for link in "$prefix"/drive_c/users/*/*; do
    if [ -L "$link" ]; then rm -f "$link" 2>/dev/null || true; mkdir -p "$link" 2>/dev/null || true; fi
  done
}
has_tahoma() { [ -s "$fonts/tahoma.ttf" ] && [ -s "$fonts/tahomabd.ttf" ]; }

if [ -f "$prefix/.qorvane-ready" ]; then
  own_user_folders
  if [ "$with_tahoma" = 0 ] || has_tahoma; then exit 0; fi
fi
if [ "$with_tahoma" != 0 ]; then
  for name in tahoma.ttf tahomabd.ttf; do
    [ -s "$wine_fonts/$name" ] && continue
    echo "wine-prefix.sh: $wine_fonts/$name is missing, so the launcher would draw no text in $prefix:" \
         "install the package fonts-wine (scripts/setup does)" >&2
    exit 1
  done
fi
mkdir -p "$prefix"
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.qorvane-ready" ]; then
  qv_wine_env "$prefix"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
  own_user_folders
fi
mkdir -p "$fonts"
[ "$with_tahoma" = 0 ] || cp -f "$wine_fonts/tahoma.ttf" "$wine_fonts/tahomabd.ttf" "$fonts/"
touch "$prefix/.qorvane-ready"
