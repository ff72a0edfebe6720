#!/usr/bin/env bash
# The real program under Xvfb with two simulated cameras: it records for a little over
# a minute (RECORD_S, 75 s), and meanwhile --export of the first minute of recording
# must write an MP4 lasting that minute (within 1 s) whose .sha256 holds; then kill -9,
# a new start, and --catalog-check must list every file on disk.
# Usage: playback_e2e.sh <OrvexClient> <source folder>; run by CTest under xvfb-run.
set -euo pipefail
program=$1
source=$2
record_s=${RECORD_S:-75}
bound_s=90  # for the program to start recording, and for the catalog to list a file

source "$source/tests/ui/e2e_home.sh" "$program" "$source" 2
printf '[CFG]\nRecordDir=%s/rec\n' "$home" >"$home/bin/OrvexCfg.ini"
client="$home/bin/OrvexClient"

"$client" >"$home/run1.log" 2>&1 &
pid=$!
recording() { [ "$(find "$home/rec" -name '*.264' -size +0 2>/dev/null | wc -l)" -ge 2 ]; }
for ((i = 0; i < bound_s * 10; i++)); do
    recording && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended before it recorded"
    sleep 0.1
done
recording || fail "no recording of both cameras within $bound_s s"

# The first recording's start, from its name (local time).
first=$(find "$home/rec/前门" -name '*.264' | sort | head -1)
day=$(basename "$(dirname "$first")")
clock=$(basename "$first" .264)
start=$(date -d "$day ${clock//-/:}" +%s)
from=$(date -d "@$((start + 5))" '+%F %T')
to=$(date -d "@$((start + 65))" '+%F %T')

# The minute is on disk and catalogued a few seconds after it was recorded.
sleep $((record_s > 70 ? record_s : 70))
out="$home/minute.mp4"
"$client" --export 前门 "$from" "$to" "$out" || fail "--export 前门 $from $to ended with $?"
duration=$(gst-discoverer-1.0 "$out" | awk '/Duration:/ {split($2, t, ":"); print t[1] * 3600 + t[2] * 60 + t[3]; exit}')
awk -v d="$duration" 'BEGIN { exit !(d >= 59 && d <= 61) }' ||
    fail "the exported minute lasts $duration s"
(cd "$home" && sha256sum --quiet -c minute.mp4.sha256) || fail "minute.mp4.sha256 does not hold"
echo "exported $from to $to: $duration s"

# A crash, a new start, and every file on disk is in the catalog.
kill -9 "$pid"
wait "$pid" 2>/dev/null || true
files=$(cd "$home/rec" && find . -name '*.264' | sed 's|^\./||' | sort)
[ "$(echo "$files" | wc -l)" -ge 2 ] || fail "fewer than two recordings: $files"
"$client" >"$home/run2.log" 2>&1 &
pid=$!
listed_all=false
for ((i = 0; i < bound_s; i++)); do
    report=$("$client" --catalog-check 2>&1) || fail "--catalog-check ended with $?: $report"
    listed_all=true
    while read -r file; do
        grep -qF "  $file" <<<"$report" || listed_all=false
    done <<<"$files"
    $listed_all && break
    sleep 1
done
$listed_all || fail "--catalog-check does not list every file: $report"
echo "$report"
echo "PASS"
