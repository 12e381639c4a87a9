# Sourced by the side-by-side recording scripts: a private Xvfb of the size given ("2880x1620"),
# a scratch folder in $work, and a player process in $player (set by the caller), all gone
# when the script exits. Exports DISPLAY and the variables bench_recording reads.
start_bench_display() {
  work=$(mktemp -d)
  display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 "$1x24" -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  player=""
  trap 'stop_bench_display' EXIT
  sleep 1
  export DISPLAY=$display QT_QPA_PLATFORM=offscreen TARNWICK_BENCH_SECONDS=$seconds
}

stop_bench_display() {
  [ -n "$player" ] && kill "$player" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
