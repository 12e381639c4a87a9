#!/usr/bin/env bash
# Side by side: CPU of a 1920x1080 30 fps recording by Tarnwick's recorder and by
# `ffmpeg -f x11grab` with the same codec settings, on a static and on a changing
# screen of a private Xvfb, then both on a busy machine (8 spinning processes beside
# them). Each line ends with the load average (1 min) when the run ended.
# Usage: bench/recording-vs-ffmpeg.sh [build dir] [seconds]
set -euo pipefail
build=${1:-build}
seconds=${2:-60}
bench="$build/bench/bench_recording"
. "$(dirname "$0")/bench-display.sh"
start_bench_display 1920x1080
spinners=()
trap '[ ${#spinners[@]} -eq 0 ] || kill "${spinners[@]}" 2>/dev/null; stop_bench_display' EXIT

# Bit rates as the recorder picks them for 1920x1080 ("text" quality).
declare -A ffargs=(
  [h264]="-c:v libx264 -preset superfast -bf 0 -g 60 -b:v 4665600"
  [hevc]="-c:v libx265 -preset ultrafast -x265-params bframes=0:keyint=60:log-level=error -tag:v hvc1 -b:v 2799360"
)

load() { awk '{ print "load=" $1 }' /proc/loadavg; }

# ffmpeg's CPU, and the frames it grabbed in the recording's time: without duplicates
# (passthrough), a grabber that falls behind leaves fewer than 30 a second.
ffmpeg_run() {
  /usr/bin/time -f "%U %S %e" -o "$work/time" ffmpeg -v error -y -f x11grab -framerate 30 -video_size 1920x1080 \
    -i "$display" -t "$seconds" ${ffargs[$1]} -fps_mode passthrough -pix_fmt yuv420p "$work/ffmpeg.mp4"
  local frames
  frames=$(ffprobe -v error -select_streams v -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$work/ffmpeg.mp4")
  awk -v f="$frames" -v n=$((seconds * 30)) '{ printf "cores=%.2f frames=%d of %d (%.1f %% missing) in %.1f s", ($1 + $2) / $3, f, n, 100 * (n - f) / n, $3 }' "$work/time"
}

for scene in static changing; do
  if [ "$scene" = changing ]; then
    # A full-screen moving test pattern in another process (its CPU is not counted).
    ffmpeg -v error -re -f lavfi -i "testsrc2=size=1920x1080:rate=30" -f sdl2 tarnwick-bench >/dev/null 2>&1 &
    player=$!
    sleep 2
  fi
  for codec in hevc h264; do
    arg=$([ "$codec" = h264 ] && echo 1 || echo 0)
    ours=$("$bench" --benchmark_filter="BM_RecordScreen/h264:$arg/busy:0/" --benchmark_format=csv 2>/dev/null | tail -1 |
      awk -F, '{ printf "cores=%.2f dropped=%d", $(NF-2), $(NF-1) }')
    ours="$ours $(load)"
    echo "$scene $codec: tarnwick $ours | ffmpeg x11grab $(ffmpeg_run "$codec") $(load)"
  done
done

# On a busy machine, changing screen: 8 spinning processes, started and stopped by the
# benchmark for the recorder and by this script for ffmpeg.
for codec in hevc h264; do
  arg=$([ "$codec" = h264 ] && echo 1 || echo 0)
  ours=$("$bench" --benchmark_filter="BM_RecordScreen/h264:$arg/busy:8/" --benchmark_format=csv 2>/dev/null | tail -1 |
    awk -F, '{ printf "cores=%.2f dropped=%d (%.1f %%)", $(NF-2), $(NF-1), 100 * $NF }')
  ours="$ours $(load)"
  for _ in 1 2 3 4 5 6 7 8; do
    (while :; do :; done) &
    spinners+=($!)
  done
  theirs="$(ffmpeg_run "$codec") $(load)"
  kill "${spinners[@]}"
  wait "${spinners[@]}" 2>/dev/null || true
  spinners=()
  echo "loaded $codec: tarnwick $ours | ffmpeg x11grab $theirs"
done
