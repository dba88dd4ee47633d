#!/usr/bin/env bash
# Runs the full-disk and room download tests on a real small disk: a 48 MiB tmpfs mounted by root, mapped into
# the build's Wine prefix as drive Q:. Exit code 77 (skipped) where no tmpfs can be mounted.
# Usage: tests/update/small_disk.sh <build folder>/tests/update_tests.exe
set -euo pipefail
exe=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "$(dirname "$exe")/.." && pwd)
export QORVANE_WINEPREFIX=${QORVANE_WINEPREFIX:-$build/wineprefix}
"$here/cmake/wine-prefix.sh" "$QORVANE_WINEPREFIX"

disk=$(mktemp -d /tmp/qv-small-disk.XXXXXX)
link=$QORVANE_WINEPREFIX/dosdevices/q:
cleanup() {
  rm -f "$link"
  umount "$disk" 2>/dev/null || true
  rmdir "$disk" 2>/dev/null || true
}
trap cleanup EXIT
if [ "$(id -u)" != 0 ] || ! mount -t tmpfs -o size=48m tmpfs "$disk" 2>/dev/null; then
  echo "small_disk.sh: cannot mount a tmpfs here (needs root); skipped"
  exit 77
fi
mkdir "$disk/oyun"
rm -f "$link"
ln -s "$disk" "$link"
QORVANE_TEST_SMALL_DISK='Q:\oyun' WINEDEBUG=-all "$here/cmake/wine-run.sh" "$exe" \
  --gtest_filter='DownloadDisk.*' --gtest_brief=1
