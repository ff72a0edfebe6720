#!/usr/bin/env bash
# How long the program takes to end on SIGTERM (a logout) with four cameras, the
# fourth stuck in its opening (it opens and never delivers, so the capture library
# would wait 10 s for its first picture), and whether every recording was closed whole.
# Usage: bench/ui/exit_time.sh [runs, default 5]
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-5}
cmake --build build/default --target OrvexClient >/dev/null

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
bash scripts/simulated-home.sh "$home" 4
export home runs
ORVEX_SIMULATED_CAMERAS=4 ORVEX_SIMULATED_FAULTS="4:stall" \
    xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
    for ((run = 1; run <= runs; ++run)); do
        rm -rf "$home/rec" "$home/bin/Log"
        "$home/bin/OrvexClient" 2>/dev/null &
        program=$!
        # The loader opens the cameras 2 s after start; three record within a second.
        for ((i = 0; i < 100; ++i)); do
            [ "$(find "$home/rec" -name "*.264" -size +0 2>/dev/null | wc -l)" -ge 3 ] && break
            sleep 0.1
        done
        sleep 1
        start=$(date +%s%N)
        kill -TERM $program
        wait $program || true
        ms=$(( ($(date +%s%N) - start) / 1000000 ))
        stopped=$(grep -h " 录像停止 " "$home"/bin/Log/*/OrvexClient/*.log | wc -l)
        decoded=0
        for f in $(find "$home/rec" -name "*.264"); do
            gst-discoverer-1.0 "$f" >/dev/null 2>&1 && decoded=$((decoded + 1))
        done
        echo "run $run: exit $ms ms after SIGTERM (target <= 2000 ms); recordings stopped: $stopped, files that decode: $decoded of $(find "$home/rec" -name "*.264" | wc -l)"
    done
'
