#!/usr/bin/env bash
# The documentation's command blocks run as written, from the repository root, each in its own
# shell that stops at the first failing command; the ones marked as illustrative or not run are
# listed and skipped. They name the build folder "build", so the test runs only on a build in
# <repository>/build (as scripts/test makes it) and is skipped otherwise. Needs QV_ROOT, QV_BUILD,
# an X display for the launcher recipes (qv_xvfb_start starts one when there is none).
set -uo pipefail
: "${QV_ROOT:?}" "${QV_BUILD:?}"
export LC_ALL=C.UTF-8
cd "$QV_ROOT"
if [ "$(cd "$QV_BUILD" && pwd -P)" != "$(cd "$QV_ROOT" && pwd -P)/build" ]; then
  echo "skipped: the blocks use ./build, this build is $QV_BUILD"
  exit 77
fi
# The blocks find the build's own Wine prefix as a reader would, without the test's settings.
unset QORVANE_WINEPREFIX WINEPREFIX
lister="$QV_ROOT/tests/docs/command_blocks.py"
failed=0 ran=0
while IFS=$'\t' read -r file line mode first; do
  if [ "$mode" = skip ]; then
    echo "skipped: $file:$line: $first"
    continue
  fi
  echo "=== $file:$line: $first"
  out=$(mktemp)
  # A guard against a hung block, not a speed check.
  if timeout 1200 bash -e -c "$(python3 "$lister" "$QV_ROOT" "$file" "$line")" >"$out" 2>&1; then
    ran=$((ran + 1))
  else
    status=$?
    tail -n 30 "$out"
    echo "FAILED (exit $status): $file:$line"
    failed=$((failed + 1))
  fi
  rm -f "$out"
done < <(python3 "$lister" "$QV_ROOT")
# What the recipes promise, beyond their commands' exit codes.
grep -qs $'HAZIR\r$' /tmp/qv-deneme/kurulum/koruma/launcher_gunluk.txt ||
  { echo "FAILED: the launcher recipe of docs/launcher.md did not reach HAZIR"; failed=$((failed + 1)); }
grep -qs 'TLSv1\.[23]$' /tmp/qv-deneme/nginx-tls/access.log ||
  { echo "FAILED: the HTTPS recipe of docs/launcher.md made no TLS request"; failed=$((failed + 1)); }
[ -s /tmp/qv-anahtar/yayin-anahtari.txt ] ||
  { echo "FAILED: the first-key recipe of docs/keys.md made no key"; failed=$((failed + 1)); }
[ -s /tmp/qv-yayin/www/qorvane/pc/manifest.sig ] ||
  { echo "FAILED: the publishing recipe of docs/publishing.md published nothing"; failed=$((failed + 1)); }
echo "$ran blocks ran, $failed failed"
[ "$failed" -eq 0 ]
