#!/usr/bin/env bash
# Runs a Windows program under Wine with the build folder's own prefix. The prefix is created once
# (first boot takes 15-20 s) and gets Wine's Tahoma copied in, because GDI+ only sees fonts that sit
# in the prefix's Fonts folder; without fonts-wine installed it fails instead.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../scripts/lib/wine.sh"
: "${QORVANE_WINEPREFIX:=${WINEPREFIX:-}}"
if [ -z "$QORVANE_WINEPREFIX" ]; then
  # CTest runs from inside the build tree; the prefix lives at its top.
  dir=$PWD
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ -f "$dir/CMakeCache.txt" ] || dir=$PWD
  QORVANE_WINEPREFIX=$dir/wineprefix
fi
qv_wine_env "$QORVANE_WINEPREFIX"
"$here/wine-prefix.sh" "$WINEPREFIX"
exec wine "$@"
