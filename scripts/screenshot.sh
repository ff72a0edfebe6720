#!/usr/bin/env bash
# Makes the README's screenshot: the program under Xvfb at 1920x1080 with four
# simulated cameras, in a temporary home so that nothing of the build folder changes.
# Usage: scripts/screenshot.sh [output, default docs/screenshot.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/screenshot.png}")
mkdir -p "$(dirname "$out")"

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build build/default --target OrvexClient orvex_screengrab

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
bash scripts/simulated-home.sh "$home" 4

ORVEX_SIMULATED_CAMERAS=4 xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
    "$1/bin/OrvexClient" &
    program=$!
    sleep 8   # the loader opens the cameras after 2 s and hides the log panel after 4 s
    "$2" "$3"
    kill -TERM $program
    wait $program' shot "$home" "$PWD/build/default/bin/orvex_screengrab" "$out"
echo "Screenshot: $out"
