#!/usr/bin/env bash
# A scaled source side by side: a 2880x1620 monitor shown at 1.5x, recorded whole by Tarnwick
# (capped at 2560x1440) and by `ffmpeg -f x11grab` scaled to the same size, while a 30 fps test
# pattern plays full screen. Frames in the file as a share of 30 a second, and gaps of missing
# frames (ffmpeg writes the frames it grabbed, without duplicates; Tarnwick leaves out grabs that
# show nothing new, and "busy" counts those it gave up for want of time). Run it on a quiet
# machine: the numbers say what the machine has to spare.
# Usage: bench/recording-scaled-vs-ffmpeg.sh [build dir] [seconds]
set -euo pipefail
build=${1:-build}
seconds=${2:-30}
bench="$build/bench/bench_recording"
. "$(dirname "$0")/bench-display.sh"
start_bench_display 2880x1620
ffmpeg -v error -re -f lavfi -i "testsrc2=size=2880x1620:rate=30" -f sdl2 tarnwick-bench >/dev/null 2>&1 &
player=$!
sleep 2

# Bit rates as the recorder picks them for 2560x1440 ("text" quality).
declare -A ffargs=(
  [h264]="-c:v libx264 -preset superfast -bf 0 -g 60 -b:v 8294400"
  [hevc]="-c:v libx265 -preset ultrafast -x265-params bframes=0:keyint=60:log-level=error -tag:v hvc1 -b:v 4976640"
)
for codec in hevc h264; do
  arg=$([ "$codec" = h264 ] && echo 1 || echo 0)
  ours=$("$bench" --benchmark_filter="BM_RecordScaledScreen/h264:$arg/" --benchmark_format=csv 2>/dev/null | tail -1 |
    awk -F, '{ printf "cores=%.2f frames=%.0f%% gaps=%d busy=%.0f%%", $(NF-3), 100 * $(NF-2), $(NF-1), 100 * $NF }')
  /usr/bin/time -f "%U %S %e" -o "$work/time" ffmpeg -v error -y -f x11grab -framerate 30 -video_size 2880x1620 \
    -i "$display" -t "$seconds" -vf scale=2560:1440 ${ffargs[$codec]} -pix_fmt yuv420p -fps_mode passthrough "$work/ffmpeg.mp4"
  frames=$(ffprobe -v error -select_streams v -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$work/ffmpeg.mp4")
  gaps=$(ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 "$work/ffmpeg.mp4" | sort -g |
    awk 'NR > 1 && $1 - last > 1.5 / 30 { n++ } { last = $1 } END { print n + 0 }')
  theirs=$(awk -v f="$frames" -v s="$seconds" '{ printf "cores=%.2f frames=%.0f%%", ($1 + $2) / $3, 100 * f / (s * 30) }' "$work/time")
  echo "scaled $codec: tarnwick $ours | ffmpeg x11grab $theirs gaps=$gaps"
done
