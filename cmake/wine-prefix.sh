#!/usr/bin/env bash
# Creates a Wine prefix once (guarded by a lock so parallel test runs do not boot it twice).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/wine.sh"
prefix=$1
# Wine links the user's Desktop, Documents, Downloads... to the Unix home; the install tests write
# shortcuts and files there, so the prefix gets folders of its own instead (also in older prefixes).
own_user_folders() {
  for link in "$prefix"/drive_c/users/*/*; do
    if [ -L "$link" ]; then rm -f "$link" 2>/dev/null || true; mkdir -p "$link" 2>/dev/null || true; fi
  done
}
[ -f "$prefix/.qorvane-ready" ] && { own_user_folders; exit 0; }
mkdir -p "$prefix"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.qorvane-ready" ] && exit 0
qv_wine_env "$prefix"
wineboot -i >/dev/null 2>&1 || true
wineserver -w || true
own_user_folders
fonts=$prefix/drive_c/windows/Fonts
mkdir -p "$fonts"
cp -f /usr/share/wine/fonts/tahoma*.ttf "$fonts/" 2>/dev/null || true
touch "$prefix/.qorvane-ready"
