#!/usr/bin/env bash
# Sets up the machine, builds and runs OrvexClient. Without a camera it turns on four
# simulated cameras (and lists them when there is no camera list yet); without a
# display it runs under Xvfb and saves a screenshot after 8 s.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default
cmake --build build/default --target OrvexClient orvex_screengrab

exe=build/default/bin/OrvexClient
if ! ls /dev/video* >/dev/null 2>&1; then
    export ORVEX_SIMULATED_CAMERAS="${ORVEX_SIMULATED_CAMERAS:-4}"
    list="$(dirname "$exe")/CameraList.xml"
    [ -e "$list" ] || bash scripts/simulated-camera-list.sh "$list" "$ORVEX_SIMULATED_CAMERAS"
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$exe" "$@"
fi

# No display: a virtual one, and a picture of it for whoever cannot see it.
shot="$PWD/build/default/screenshot.png"
exec xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
    "$1" "${@:4}" &
    program=$!
    trap "kill -TERM $program 2>/dev/null" INT TERM
    sleep 8
    if "$2" "$3"; then echo "Screenshot of the window: $3"; fi
    wait $program' run "$exe" build/default/bin/orvex_screengrab "$shot" "$@"
