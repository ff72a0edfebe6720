#!/usr/bin/env bash
# Makes a home for the program in a folder: a copy of the built executable with a
# camera list of N simulated cameras beside it and recordings going to <folder>/rec,
# so that a run leaves the build folder as it was.
# Usage: simulated-home.sh <folder> <N>
set -euo pipefail
home=$1
mkdir -p "$home/bin"
cp "$(dirname "$0")/../build/default/bin/OrvexClient" "$home/bin/"
bash "$(dirname "$0")/simulated-camera-list.sh" "$home/bin/CameraList.xml" "$2"
printf '[CFG]\nRecordDir=%s/rec\n' "$home" > "$home/bin/OrvexCfg.ini"
