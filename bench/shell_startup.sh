#!/usr/bin/env bash
# Start-up of the resident program under Xvfb with openbox and a tray host:
# the time from exec to the tray icon embedded in the tray, and the memory
# of the idle process (resident and anonymous) a second later, and the time
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

times=(); rss=(); anon=()
for run in $(seq "$RUNS"); do
  mkdir -m 700 "$WORK/$run"
  start=$(date +%s%N)
  XDG_RUNTIME_DIR="$WORK/$run" "$APP" >/dev/null 2>&1 & PID=$!
  deadline "tray icon"
  until xwininfo -id "$PANEL" -tree | grep '"Tarnwick"' >/dev/null; do in_time; done
  times+=($(( ($(date +%s%N) - start) / 1000000 )))
  sleep 1
  rss+=($(awk '/^VmRSS/{print $2}' /proc/$PID/status))
  anon+=($(awk '/^Anonymous/{print $2}' /proc/$PID/smaps_rollup))
  kill -TERM $PID; wait $PID || true; PID=
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
echo "start to tray icon: median $(median "${times[@]}") ms (runs: ${times[*]})"
echo "idle resident: median $(( $(median "${rss[@]}") / 1024 )) MB, anonymous $(( $(median "${anon[@]}") / 1024 )) MB"
