#!/usr/bin/env bash
# Sets up the machine, builds and runs OrvexClient. Without a display it runs under
# Xvfb; without a camera it turns on simulated cameras.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default
cmake --build build/default --target OrvexClient

if ! ls /dev/video* >/dev/null 2>&1; then
  export ORVEX_SIMULATED_CAMERAS="${ORVEX_SIMULATED_CAMERAS:-4}"
fi

exe=build/default/bin/OrvexClient
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24" "$exe" "$@"
fi
exec "$exe" "$@"
