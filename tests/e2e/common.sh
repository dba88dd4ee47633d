# Shared set-up of the end-to-end tests: the built launcher (hidden window) and publisher under Wine
# in a prefix of their own, a sample game, nginx on loopback, bounded waits on the launcher's log,
# and a clean-up that ends exactly what the test started. Needs QV_ROOT, QV_BUILD and an X display.
set -euo pipefail
: "${QV_ROOT:?}" "${QV_BUILD:?}"
source "$QV_ROOT/scripts/lib/nginx.sh"
source "$QV_ROOT/scripts/lib/game.sh"

e2e_name=$(basename "$0" .sh)
work=$QV_BUILD/e2e/$e2e_name
prefix=${E2E_PREFIX:-$QV_BUILD/e2e-wineprefix}
launcher="$QV_BUILD/Qorvane Launcher.exe"
game=$work/oyun
www=$work/www
install=$work/kurulum
log=$install/koruma/launcher_gunluk.txt
e2e_started=$SECONDS
e2e_extra_cleanup=:

if [ -z "${DISPLAY:-}" ]; then
  echo "needs an X display: Wine cannot create the launcher's window without one (scripts/test starts Xvfb)"
  exit 1
fi
for f in "$launcher" "$QV_BUILD/tools/qorvane-yayinci.exe"; do
  [ -f "$f" ] || { echo "not built: $f"; exit 1; }
done

e2e_cleanup() {
  local status=$?
  qv_launcher_close "$prefix" 2>/dev/null || true
  $e2e_extra_cleanup || true
  qv_wineserver "$prefix" -k 2>/dev/null || true
  qv_nginx_stop "$work/nginx"
  echo "$e2e_name: $((SECONDS - e2e_started)) s"
  exit $status
}
trap e2e_cleanup EXIT

e2e_fail() {
  echo "FAILED: $*"
  if [ -f "$log" ]; then
    echo "--- launcher log"
    tail -n 40 "$log"
  fi
  [ -f "$work/nginx/error.log" ] && { echo "--- nginx error log"; tail -n 20 "$work/nginx/error.log"; }
  [ -f "$work/launcher-wine.out" ] && { echo "--- wine output"; tail -n 20 "$work/launcher-wine.out"; }
  exit 1
}

# e2e_wait PATTERN COUNT SECONDS [FAIL_PATTERN]: the log must reach PATTERN COUNT times in time.
e2e_wait() {
  local status=0
  qv_wait_log "$log" "$@" || status=$?
  case $status in
    0) ;;
    2) e2e_fail "'$4' in the log while waiting for '$1'" ;;
    *) e2e_fail "no '$1' (x$2) in the log within $3 s" ;;
  esac
}

e2e_count() { grep -c -- "$1" "$log" 2>/dev/null || true; }

# Checksums of everything in the install folder except the log, for "nothing was touched".
e2e_snapshot() {
  (cd "$install" && find . -type f ! -path ./koruma/launcher_gunluk.txt -print0 | sort -z | xargs -0 sha256sum)
}

mkdir -p "$work"
rm -rf "$work"/*
"$QV_ROOT/cmake/wine-prefix.sh" "$prefix"
# One wineserver for the whole test instead of one per process start.
qv_wineserver "$prefix" -p
qv_forget_version_floors "$prefix"
