# Sourced by the scripts that drive rv4410-loader.exe under Wine: a virtual X
# display (Xvfb, its screen kept as an XWD file), a fresh Wine prefix whose
# COM1 reaches rv4410-sim, and xdotool to find windows by title, click the
# controls at their places in dialog units and press keys. Set before
# sourcing: loader (the .exe) and sim (rv4410-sim). Ends everything it
# started on exit.

wine_desktop=$(dirname "${BASH_SOURCE[0]}")
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
work=$(mktemp -d)
xvfb_pid=
sim_pid=
loader_pid=

cleanup() {
  if [ -n "$loader_pid" ]; then kill "$loader_pid" 2>/dev/null || true; fi
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
  WINEPREFIX="$work/prefix" timeout 20 "$server" -w 2>/dev/null ||
    WINEPREFIX="$work/prefix" "$server" -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "$(basename "$0"): $*" >&2
  if [ -f "${run:-}/Loader.LOG" ]; then
    echo "--- Loader.LOG" >&2
    tail -n 40 "$run/Loader.LOG" >&2
  fi
  if [ -n "${SCREEN_ON_FAILURE:-}" ]; then python3 "$wine_desktop/xwd_to_png.py" "$work/Xvfb_screen0" "$SCREEN_ON_FAILURE"; fi
  exit 1
}

# A display of our own; Xvfb picks a free number and keeps the screen as an
# XWD file in $work.
exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1024x768x24 -fbdir "$work" -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 5>&-
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$work/display")"

export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$wine" wineboot -i >/dev/null 2>&1
"$server" -w


# The id of the window titled exactly $1, waiting up to $2 seconds.
wait_window() {
  local deadline=$((SECONDS + $2)) id
  while [ $SECONDS -le $deadline ]; do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.2
  done
  fail "no window \"$1\" within $2 s"
}

# Waits up to $2 seconds until no window is titled exactly $1.
wait_no_window() {
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -le $deadline ]; do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.2
  done
  fail "window \"$1\" still there after $2 s"
}

# Clicks window $1, whose template is $2 by $3 dialog units, at the centre of
# the control placed at x $4, y $5, width $6, height $7 (dialog units).
click() {
  local geometry x y width height
  geometry=$(xdotool getwindowgeometry --shell "$1")
  x=$(sed -n 's/^X=//p' <<<"$geometry")
  y=$(sed -n 's/^Y=//p' <<<"$geometry")
  width=$(sed -n 's/^WIDTH=//p' <<<"$geometry")
  height=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
  xdotool mousemove $((x + ($4 + $6 / 2) * width / $2)) $((y + ($5 + $7 / 2) * height / $3)) \
    click 1
}

# The run's Loader.LOG, its lines without the CR that Windows' text mode writes.
log_lines() {
  tr -d '\r' <"$run/Loader.LOG" 2>/dev/null || true
}

# Sends the key $2 to window $1. Without a window manager xdotool finds no
# focused window and says so; the key arrives all the same.
press() {
  xdotool key --window "$1" "$2" 2>/dev/null
}

# Types $1 into the window that has the focus, as real key presses: Wine
# drops the shifted characters of keys sent to a window directly.
type_text() {
  xdotool type --delay 20 "$1"
}

# Waits up to $2 seconds for the line $1 in the run's Loader.LOG.
wait_log() {
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -le $deadline ]; do
    log_lines | grep -qxF -- "$1" && return 0
    sleep 0.2
  done
  fail "no line \"$1\" in Loader.LOG within $2 s"
}

# Starts rv4410-sim with the options given and makes COM1 of the prefix its
# terminal.
start_sim() {
  "$sim" "$@" >"$work/sim-out" 2>"$work/sim-err" &
  sim_pid=$!
  for _ in $(seq 300); do
    [ -s "$work/sim-out" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  local pty
  pty=$(head -n 1 "$work/sim-out")
  [ -n "$pty" ] || fail "rv4410-sim did not start: $(cat "$work/sim-err")"
  com1_is "$pty"
}

stop_sim() {
  kill "$sim_pid"
  wait "$sim_pid" || true
  sim_pid=
}

# Wine reads its Ports key when the prefix starts: the server is ended first.
com1_is() {
  "$server" -w
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$1" /f >/dev/null
  "$server" -w
}

# Starts the loader in a fresh folder $run; the sample files of the simulator
# are put there first when $1 is "samples".
start_loader() {
  run="$work/run$((++runs))"
  mkdir -p "$run"
  if [ "${1:-}" = samples ]; then "$sim" --write-samples "$run" >/dev/null; fi
  (cd "$run" && exec "$wine" "$loader") >"$work/loader.out" 2>&1 &
  loader_pid=$!
}

# Waits up to $1 seconds for the loader to end.
wait_loader_end() {
  local deadline=$((SECONDS + $1))
  while kill -0 "$loader_pid" 2>/dev/null; do
    [ $SECONDS -le $deadline ] || fail "the loader did not end within $1 s"
    sleep 0.2
  done
  wait "$loader_pid" || true
  loader_pid=
}

# The page templates' sizes and their controls' places, in dialog units.
SETUP=(325 239)
COMMS=(184 117)
ADVANCED_COMMS=(24 218 101 14)
CONFIG_FIND=(293 68 25 14)
PAGE=(322 241)
READ_CONFIGURATION=(161 89 107 10)
WRITE_CONFIGURATION=(161 103 99 10)
WRITE_PROGRAM=(161 20 99 10)
WRITE_MAP=(161 124 118 10)
NEXT=(210 218 50 14)
BACK=(160 218 50 14)
EXIT=(265 218 50 14)
runs=0

# Saves window $1 as the PNG $2, cut from the screen.
capture() {
  local geometry
  # The pointer out of the picture; the screen file shows it too.
  xdotool mousemove 1020 760
  sleep 0.3
  geometry=$(xdotool getwindowgeometry --shell "$1")
  python3 "$wine_desktop/xwd_to_png.py" "$work/Xvfb_screen0" "$2" \
    "$(sed -n 's/^X=//p' <<<"$geometry")" "$(sed -n 's/^Y=//p' <<<"$geometry")" \
    "$(sed -n 's/^WIDTH=//p' <<<"$geometry")" "$(sed -n 's/^HEIGHT=//p' <<<"$geometry")"
}
