#!/usr/bin/env bash
# Runs a Windows program under Wine with the build folder's own prefix. The prefix is created once
# (first boot takes 15-20 s) and gets Wine's Tahoma copied in, because GDI+ only sees fonts that sit
# in the prefix's Fonts folder; without fonts-wine installed it fails instead.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../scripts/lib/wine.sh"
: "${QORVANE_WINEPREFIX:=${WINEPREFIX:-}}"
# The build tree above a folder, or nothing.
build_above() {
  local dir
  dir=$(cd "$1" 2>/dev/null && pwd) || return 1
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ -f "$dir/CMakeCache.txt" ] && echo "$dir"
}
if [ -z "$QORVANE_WINEPREFIX" ]; then
  # The prefix lives at the top of the build tree: the one CTest runs in, else the one that holds the
  # program (run from the repository root), else the repository's build folder.
  dir=$(build_above "$PWD") || dir=$(build_above "$(dirname "${1:-.}")") || dir=$here/../build
  QORVANE_WINEPREFIX=$(cd "$dir" 2>/dev/null && pwd || echo "$dir")/wineprefix
fi
qv_wine_env "$QORVANE_WINEPREFIX"
"$here/wine-prefix.sh" "$WINEPREFIX"
exec wine "$@"
