# An X display for Wine where there is none: anything that creates a window needs one under Wine,
# even the launcher's hidden mode. Xvfb runs on the first free display number from 90 with the
# screen the window tests measure against (1920 x 1080, 24 bits).
#
#   qv_xvfb_start  -> with DISPLAY unset, starts Xvfb, exports DISPLAY and sets QV_XVFB_PID
#                     (empty when DISPLAY was already set); fails when no display could be started
#   qv_xvfb_stop   -> stops the Xvfb that qv_xvfb_start started, and only that one

qv_xvfb_start() {
  QV_XVFB_PID=
  [ -n "${DISPLAY:-}" ] && return 0
  local n i
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    QV_XVFB_PID=$!
    for i in $(seq 50); do
      # Another run may have taken the same number a moment earlier: this Xvfb then ends.
      kill -0 "$QV_XVFB_PID" 2>/dev/null || break
      if [ -e "/tmp/.X11-unix/X$n" ]; then
        export DISPLAY=":$n"
        return 0
      fi
      sleep 0.1
    done
    kill "$QV_XVFB_PID" 2>/dev/null || true
    wait "$QV_XVFB_PID" 2>/dev/null || true
    QV_XVFB_PID=
  done
  echo "no free X display for Xvfb" >&2
  return 1
}

qv_xvfb_stop() {
  [ -n "${QV_XVFB_PID:-}" ] || return 0
  kill "$QV_XVFB_PID" 2>/dev/null || true
  wait "$QV_XVFB_PID" 2>/dev/null || true
  QV_XVFB_PID=
}
