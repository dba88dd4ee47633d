#!/usr/bin/env bash
# CTest's way into Wine. The first Wine process of a prefix starts Wine's own services (services.exe,
# winedevice, rpcss...), which inherit its standard output and error and live as long as the
# wineserver; on CTest's pipes that would keep CTest waiting for the test forever. The test's output
# therefore goes through files, which nobody waits on.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
"$here/wine-run.sh" "$@" >"$out" 2>"$err" </dev/null
rc=$?
cat "$out"
cat "$err" >&2
exit $rc
