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
trap 'kill $TRAYER $OPENBOX $XVFB 2>/dev/null; rm -rf "$WORK"' EXIT
until xdpyinfo >/dev/null 2>&1; do sleep 0.05; done
openbox >/dev/null 2>&1 & OPENBOX=$!
trayer --edge top >/dev/null 2>&1 & TRAYER=$!
until xwininfo -root -tree | grep '"panel": ("panel" "trayer")' >/dev/null; do sleep 0.05; done
PANEL=$(xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/{print $1; exit}')

times=(); rss=(); anon=()
for run in $(seq "$RUNS"); do
  mkdir -m 700 "$WORK/$run"
  start=$(date +%s%N)
  XDG_RUNTIME_DIR="$WORK/$run" "$APP" >/dev/null 2>&1 & PID=$!
  until xwininfo -id "$PANEL" -tree | grep '"Tarnwick"' >/dev/null; do :; done
  times+=($(( ($(date +%s%N) - start) / 1000000 )))
  sleep 1
  rss+=($(awk '/^VmRSS/{print $2}' /proc/$PID/status))
  anon+=($(awk '/^Anonymous/{print $2}' /proc/$PID/smaps_rollup))
  kill -TERM $PID; wait $PID || true
done
# The picker's latency, with Tarnwick running and idle.
mkdir -m 700 "$WORK/picker"
XDG_RUNTIME_DIR="$WORK/picker" "$APP" >/dev/null 2>&1 & PID=$!
until xwininfo -id "$PANEL" -tree | grep '"Tarnwick"' >/dev/null; do :; done
sleep 1
"$(dirname "$APP")/../bench/picker_latency" 11
kill -TERM $PID; wait $PID || true

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }
echo "start to tray icon: median $(median "${times[@]}") ms (runs: ${times[*]})"
echo "idle resident: median $(( $(median "${rss[@]}") / 1024 )) MB, anonymous $(( $(median "${anon[@]}") / 1024 )) MB"
