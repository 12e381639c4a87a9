#!/usr/bin/env bash
# Start-up of the resident program under Xvfb with openbox and a tray host, side by side with
# Flameshot's daemon (when installed) on the same server and tray, runs alternating:
# the time from exec to the tray icon embedded in the tray, and the memory
# of the idle process (resident and anonymous) a second later; then the time
# from a Ctrl+2 typed through XTEST to the picker's veil mapped, less the
# fixed 0.25 s the shell waits before it starts the picker.
# Usage: bench/shell_startup.sh [build dir] [runs]
set -eu
BUILD=${1:-build}
RUNS=${2:-5}
APP=$(realpath "$BUILD/bin/tarnwick")
DISPLAY_NUMBER=${BENCH_DISPLAY:-93}
export DISPLAY=:$DISPLAY_NUMBER
WORK=$(mktemp -d)
Xvfb "$DISPLAY" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 & XVFB=$!
TRAYER= OPENBOX= PID=
trap 'kill $PID $TRAYER $OPENBOX $XVFB 2>/dev/null; rm -rf "$WORK"' EXIT
# Each wait gives up after LIMIT seconds (bash's own clock, so the start-up
# measurement's tight loop stays cheap).
LIMIT=${BENCH_WAIT_LIMIT:-30}
deadline() { DEADLINE=$((SECONDS + LIMIT)); WHAT=$1; }
in_time() { (( SECONDS < DEADLINE )) || { echo "shell_startup: no $WHAT within $LIMIT s" >&2; exit 1; }; }
deadline "X server"
until xdpyinfo >/dev/null 2>&1; do in_time; sleep 0.05; done
openbox >/dev/null 2>&1 & OPENBOX=$!
trayer --edge top >/dev/null 2>&1 & TRAYER=$!
deadline "tray host"
until xwininfo -root -tree | grep '"panel": ("panel" "trayer")' >/dev/null; do in_time; sleep 0.05; done
PANEL=$(xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/{print $1; exit}')

# start_to_tray <label> <tray icon name> <command...>: one run of a program from exec to its
# icon embedded in the tray, then its memory a second later; the program is ended after.
declare -A times rss anon
start_to_tray() {
  local label=$1 icon=$2; shift 2
  local dir="$WORK/$label-${#RUN_DIRS[@]}"; RUN_DIRS+=("$dir"); mkdir -m 700 "$dir"
  local start; start=$(date +%s%N)
  XDG_RUNTIME_DIR="$dir" "$@" >/dev/null 2>&1 & PID=$!
  deadline "$label tray icon"
  until xwininfo -id "$PANEL" -tree | grep "\"$icon\"" >/dev/null; do in_time; done
  times[$label]+="$(( ($(date +%s%N) - start) / 1000000 )) "
  sleep 1
  rss[$label]+="$(awk '/^VmRSS/{print $2}' /proc/$PID/status) "
  anon[$label]+="$(awk '/^Anonymous/{print $2}' /proc/$PID/smaps_rollup) "
  kill -TERM $PID; wait $PID || true; PID=
}
RUN_DIRS=()
# Flameshot's daemon wants a session bus: a private one, started before the clock as a
# desktop session has it already.
PEER=$(command -v flameshot || true)
BUS_PID=
if [ -n "$PEER" ]; then
  { read -r BUS_ADDRESS; read -r BUS_PID; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
  trap 'kill $PID $BUS_PID $TRAYER $OPENBOX $XVFB 2>/dev/null; rm -rf "$WORK"' EXIT
fi
for run in $(seq "$RUNS"); do
  start_to_tray tarnwick Tarnwick "$APP"
  [ -z "$PEER" ] || start_to_tray flameshot flameshot env DBUS_SESSION_BUS_ADDRESS="$BUS_ADDRESS" "$PEER"
done
# The picker's latency, with Tarnwick running and idle.
mkdir -m 700 "$WORK/picker"
XDG_RUNTIME_DIR="$WORK/picker" "$APP" >/dev/null 2>&1 & PID=$!
deadline "tray icon"
until xwininfo -id "$PANEL" -tree | grep '"Tarnwick"' >/dev/null; do in_time; done
sleep 1
"$(dirname "$APP")/../bench/picker_latency" 11
kill -TERM $PID; wait $PID || true; PID=

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }
# What each engine's first use costs in loading (the files in the page cache, as after a first run).
for engine in effects recognition recording; do
  loads=()
  for run in $(seq "$RUNS"); do loads+=($("$(dirname "$APP")/../bench/engine_loading" $engine)); done
  echo "$engine module loaded on first use: median $(median "${loads[@]}") ms (runs: ${loads[*]})"
done
for label in tarnwick ${PEER:+flameshot}; do
  t=(${times[$label]}); r=(${rss[$label]}); a=(${anon[$label]})
  echo "$label: start to tray icon median $(median "${t[@]}") ms (runs: ${t[*]}); idle resident median $(( $(median "${r[@]}") / 1024 )) MB, anonymous $(( $(median "${a[@]}") / 1024 )) MB"
done
