#!/usr/bin/env bash
# The real program under Xvfb with four simulated cameras playing scenes: a still room,
# someone crossing twice (15-19 s and 35-39 s after the start), someone crossing once
# (15-19 s) on a camera that records on motion only, and heavy noise. Every camera
# watches for motion. After RUN_S (55 s) and a clean stop: each crossing was logged
# within seconds, nothing on the still and noisy cameras, the catalog holds the events,
# and the motion-only camera kept one file that decodes, begins at least 5 s before its
# event and holds far less than a continuous recording.
# Usage: motion_e2e.sh <OrvexClient> <source folder>; run by CTest under xvfb-run.
set -euo pipefail
program=$1
source=$2
run_s=${RUN_S:-55}
bound_s=90

source "$source/tests/ui/e2e_home.sh" "$program" "$source" 4
printf '[CFG]\nRecordDir=%s/rec\n' "$home" >"$home/bin/OrvexCfg.ini"
watched=$(printf '0000000000000000 %.0s' {1..12})
{
    echo '<?xml version="1.0" ?>'
    echo '<MotionSettings>'
    for n in 1 2 3 4; do
        mode=continuous
        [ "$n" = 3 ] && mode=motion
        echo "<Camera><Key>name:Simulated Camera $n</Key><Enabled>1</Enabled>"
        echo "<MinAreaPct>1.0</MinAreaPct><Recording>$mode</Recording><Excluded>$watched</Excluded></Camera>"
    done
    echo '</MotionSettings>'
} >"$home/bin/MotionSettings.xml"
export ORVEX_SIMULATED_SCENES="1:still;2:motion@15-19,35-39;3:motion@15-19;4:noise"

started=$(date +%s.%N)
"$home/bin/OrvexClient" >"$home/run.log" 2>&1 &
pid=$!
sleep "$run_s"
kill -0 "$pid" 2>/dev/null || fail "the program ended on its own"
stop_program "$bound_s"
log=$(find "$home/bin/Log" -name '*.log' | head -1)
[ -n "$log" ] || fail "no log file"

# Starts per camera, and how long after the program's start each was logged.
starts() { grep -c "摄像头 $1 检测到移动" "$log" || true; }
[ "$(starts 后门)" = 2 ] || fail "后门: $(starts 后门) starts logged, not 2"
[ "$(starts 仓库)" = 1 ] || fail "仓库: $(starts 仓库) starts logged, not 1"
[ "$(starts 前门)" = 0 ] || fail "a still room logged motion"
[ "$(starts 停车场)" = 0 ] || fail "heavy noise logged motion"
[ "$(grep -c '移动结束, 持续' "$log")" = 3 ] || fail "not three ends logged"
while read -r day clock ms _; do
    at=$(date -d "$day $clock" +%s).$ms
    awk -v at="$at" -v s="$started" 'BEGIN { d = at - s; exit !(d >= 14 && d <= 21) }' ||
        fail "a first crossing logged $(awk -v at="$at" -v s="$started" 'BEGIN { print at - s }') s after the start"
done < <(grep "检测到移动" "$log" | head -2)

# The catalog's events, and the motion-only camera's one file.
catalog=$home/rec/OrvexCatalog.sqlite3
query() { sqlite3 "$catalog" "$1"; }
events() {
    query "select count(*) from motion_events e join cameras c on c.id = e.camera_id
           where c.name = '$1' and e.end_ms > e.start_ms and e.peak_pct > 0"
}
[ "$(events 后门)" = 2 ] || fail "the catalog holds $(events 后门) events of 后门"
[ "$(events 仓库)" = 1 ] || fail "the catalog holds $(events 仓库) events of 仓库"
lead=$(query "select min(e.start_ms) - min(f.start_ms) from motion_events e, files f, cameras c
              where c.name = '仓库' and e.camera_id = c.id and f.camera_id = c.id")
[ "$lead" -ge 5000 ] || fail "the motion-only file begins $lead ms before its event"
mapfile -t kept < <(find "$home/rec/仓库" -name '*.264')
[ "${#kept[@]}" = 1 ] || fail "the motion-only camera kept ${#kept[@]} files"
gst-launch-1.0 -q filesrc location="${kept[0]}" ! h264parse ! avdec_h264 ! fakesink ||
    fail "the motion-only file does not decode"
bytes() { du -cb "$home/rec/$1" | tail -1 | cut -f1; }
awk -v m="$(bytes 仓库)" -v c="$(bytes 后门)" 'BEGIN { exit !(m > 0 && m < 0.6 * c) }' ||
    fail "motion only kept $(bytes 仓库) bytes against $(bytes 后门) recorded continuously"
echo "PASS"
