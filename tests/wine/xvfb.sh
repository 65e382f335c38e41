# shellcheck shell=bash
# Helpers for a private X display (sourced).
#   xvfb_start LOGDIR   starts Xvfb on a free display, exports DISPLAY and XVFB_PID
#   xvfb_stop           ends that Xvfb
#   xvfb_shot FILE [RAW] screenshot of the display, trimmed to what is on it
#                       (RAW keeps the whole screen, in screen coordinates)

xvfb_start() {
  local dir=$1
  mkdir -p "$dir"
  : >"$dir/xvfb.display"
  # -displayfd picks a free display number and writes it to the descriptor.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -br 3>"$dir/xvfb.display" \
    >"$dir/xvfb.log" 2>&1 &
  XVFB_PID=$!
  local _
  for _ in $(seq 100); do
    if [ -s "$dir/xvfb.display" ]; then
      DISPLAY=":$(tr -d '[:space:]' <"$dir/xvfb.display")"
      export DISPLAY
      return 0
    fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "Xvfb did not start; see $dir/xvfb.log" >&2
  return 1
}

xvfb_stop() {
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
  fi
}

xvfb_shot() {  # FILE [UNTRIMMED-FILE]
  local file=$1 raw=${2:-}
  mkdir -p "$(dirname "$file")"
  [ -n "$raw" ] || raw=$(mktemp --suffix=.png)
  timeout 30 import -display "$DISPLAY" -window root "$raw" 2>/dev/null || return 1
  # The root is black (-br): trimming leaves the windows on it.
  timeout 30 convert "$raw" -trim +repage "$file"
  local rc=$?
  [ -n "${2:-}" ] || rm -f "$raw"
  return $rc
}
