#!/usr/bin/env bash
# Side by side: CPU of a 1920x1080 30 fps recording by Tarnwick's recorder and by
# `ffmpeg -f x11grab` with the same codec settings, on a static and on a changing
# screen of a private Xvfb. Usage: bench/recording-vs-ffmpeg.sh [build dir] [seconds]
set -euo pipefail
build=${1:-build}
seconds=${2:-60}
bench="$build/bench/bench_recording"
. "$(dirname "$0")/bench-display.sh"
start_bench_display 1920x1080

# Bit rates as the recorder picks them for 1920x1080 ("text" quality).
declare -A ffargs=(
  [h264]="-c:v libx264 -preset superfast -bf 0 -g 60 -b:v 4665600"
  [hevc]="-c:v libx265 -preset ultrafast -x265-params bframes=0:keyint=60:log-level=error -tag:v hvc1 -b:v 2799360"
)

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
    /usr/bin/time -f "%U %S %e" -o "$work/time" ffmpeg -v error -y -f x11grab -framerate 30 -video_size 1920x1080 \
      -i "$display" -t "$seconds" ${ffargs[$codec]} -pix_fmt yuv420p "$work/ffmpeg.mp4"
    theirs=$(awk '{ printf "%.2f", ($1 + $2) / $3 }' "$work/time")
    frames=$(ffprobe -v error -select_streams v -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$work/ffmpeg.mp4")
    theirs="$theirs frames=$frames of $((seconds * 30)) in $(awk '{ print $3 }' "$work/time") s"
    echo "$scene $codec: tarnwick $ours | ffmpeg x11grab cores=$theirs"
  done
done

# On a busy machine (8 spinning processes started and stopped by the benchmark), changing screen.
for codec in hevc h264; do
  arg=$([ "$codec" = h264 ] && echo 1 || echo 0)
  "$bench" --benchmark_filter="BM_RecordScreen/h264:$arg/busy:8/" --benchmark_format=csv 2>/dev/null | tail -1 |
    awk -F, -v codec="$codec" '{ printf "loaded %s: tarnwick cores=%.2f dropped=%d (%.1f %%)\n", codec, $(NF-2), $(NF-1), 100 * $NF }'
done
