#!/usr/bin/env bash
# CPU and memory of the whole program with four 640x480 simulated cameras at 30 per
# second, live in a maximized window and recording, under Xvfb; next to four bare
# gst-launch-1.0 pipelines of the same pictures with the same encoder settings and an
# X display sink, in the same virtual display. Resident memory is sampled every
# minute when the run is long enough.
# Usage: bench/ui/window_cpu.sh [seconds, default 60] [x264 preset, default veryfast]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
preset=${2:-veryfast}
cmake --build build/default --target OrvexClient >/dev/null

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
bash scripts/simulated-home.sh "$home" 4

# Sourced by both runs: xvfb-run's shell does not pass exported functions on.
cat > "$home/measure.sh" <<EOF
# CPU seconds (user + system) of a process and its threads so far.
cpu_of() { awk '{ printf "%.2f", (\$14 + \$15) / $(getconf CLK_TCK) }' "/proc/\$1/stat"; }
rss_of() { awk '/VmRSS/ { printf "%.1f", \$2 / 1024 }' "/proc/\$1/status"; }
EOF
export seconds preset home
ORVEX_SIMULATED_CAMERAS=4 xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
    . "$home/measure.sh"
    "$home/bin/OrvexClient" 2>/dev/null &
    program=$!
    sleep 5   # start-up: the loader opens the cameras after 2 s
    start=$(cpu_of $program)
    for ((t = 0; t < seconds; t += 60)); do
        step=$(( seconds - t < 60 ? seconds - t : 60 ))
        sleep $step
        echo "program after $((t + step + 5)) s: RSS $(rss_of $program) MiB"
    done
    used=$(awk "BEGIN { print $(cpu_of $program) - $start }")
    kill -TERM $program; wait $program
    echo "program: $used CPU s in $seconds s = $(awk "BEGIN { printf \"%.3f\", $used / $seconds }") CPU s/s"
' | tee "$home/program.txt"

xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
    . "$home/measure.sh"
    looks=("pattern=smpte horizontal-speed=2" "pattern=ball motion=wavy"
           "pattern=pinwheel horizontal-speed=3" "pattern=spokes horizontal-speed=2")
    pids=()
    for i in 0 1 2 3; do
        gst-launch-1.0 -q videotestsrc is-live=true ${looks[$i]} \
            ! video/x-raw,format=I420,width=640,height=480,framerate=30/1 \
            ! clockoverlay text="Camera $i" \
            ! tee name=t \
            t. ! queue leaky=downstream max-size-buffers=2 ! videoconvert \
               ! video/x-raw,format=BGRx ! ximagesink sync=false \
            t. ! queue ! x264enc speed-preset=$preset tune=zerolatency key-int-max=60 \
               ! h264parse config-interval=-1 \
               ! video/x-h264,stream-format=byte-stream,alignment=au \
               ! filesink location=$home/bare$i.264 >/dev/null 2>&1 &
        pids+=($!)
    done
    sleep 5
    total() { local sum=0; for p in "${pids[@]}"; do sum=$(awk "BEGIN { print $sum + $(cpu_of $p) }"); done; echo $sum; }
    start=$(total)
    sleep $seconds
    used=$(awk "BEGIN { print $(total) - $start }")
    kill -INT "${pids[@]}"; wait
    echo "bare pipelines: $used CPU s in $seconds s = $(awk "BEGIN { printf \"%.3f\", $used / $seconds }") CPU s/s"
' | tee "$home/bare.txt"

program=$(grep -o '= [0-9.]* CPU' "$home/program.txt" | tail -1 | tr -dc '0-9.')
bare=$(grep -o '= [0-9.]* CPU' "$home/bare.txt" | tr -dc '0-9.')
echo "ratio program / bare: $(awk "BEGIN { printf \"%.2f\", $program / $bare }")x (preset $preset)"
