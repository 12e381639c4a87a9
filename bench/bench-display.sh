# Sourced by the side-by-side recording scripts: a private Xvfb of the size given ("2880x1620"),
# a scratch folder in $work, and a player process in $player (set by the caller), all gone
# when the script exits. Exports DISPLAY and the variables bench_recording reads.
start_bench_display() {
  work=$(mktemp -d)
  # The server picks a free display and names it once it takes connections: a guessed
  # number may be another server's, and a fixed pause may end before it is up.
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  xvfb=$!
  player=""
  trap 'stop_bench_display' EXIT
  for _ in $(seq 300); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || { echo "bench-display: no X server within 30 s" >&2; exit 1; }
  display=:$(head -n1 "$work/display")
  export DISPLAY=$display QT_QPA_PLATFORM=offscreen TARNWICK_BENCH_SECONDS=$seconds
}

stop_bench_display() {
  [ -n "$player" ] && kill "$player" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
