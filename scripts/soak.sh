#!/usr/bin/env bash
# Soak test, run by hand: four simulated cameras record through the reliability
# driver for two hours, with the retention running and every camera closed and opened
# again every 10 minutes. The driver's resident memory, open descriptors and
# threads are sampled every minute; growth is reported from the end of a warm-up
# (5 minutes, 1 in a run shorter than 10) to the last sample. The exit status is 1
# when the driver did not end well.
# Usage: scripts/soak.sh [minutes, default 120] [folder, default a new one under $TMPDIR]
set -uo pipefail
cd "$(dirname "$0")/.."

minutes=${1:-120}
warmup=5
[ "$minutes" -ge 10 ] || warmup=1
folder=${2:-$(mktemp -d "${TMPDIR:-/tmp}/orvex-soak-XXXXXX")}
mkdir -p "$folder"
cmake --preset default >/dev/null && cmake --build build/default --target reliability_driver || exit 1

export GST_REGISTRY="$folder/gst-registry.bin"
seconds=$((minutes * 60))
build/default/tests/reliability/reliability_driver "$folder" "$seconds" 1 2 3 4 \
    --retention 2048 60000 --reopen 600 >"$folder/driver.out" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null' EXIT

samples="$folder/samples.txt"
echo "minute rss_kib fds threads recorded_bytes" >"$samples"
for ((minute = 1; minute * 60 <= seconds; minute++)); do
    sleep 60
    [ -d "/proc/$pid" ] || break
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
    threads=$(awk '/^Threads:/ {print $2}' "/proc/$pid/status")
    fds=$(ls "/proc/$pid/fd" | wc -l)
    recorded=$(du -sb "$folder/rec" 2>/dev/null | cut -f1)
    echo "$minute $rss $fds $threads ${recorded:-0}" | tee -a "$samples"
done
wait "$pid"
status=$?
trap - EXIT

echo "== soak of $minutes min under $folder, driver exit status $status"
awk -v warmup="$warmup" 'NR == 1 { next }
     $1 == warmup { r0 = $2; f0 = $3; t0 = $4; m0 = $1 }
     { r = $2; f = $3; t = $4; m = $1 }
     END {
         if (m0 == "" || m <= m0) { print "   too short to report growth"; exit }
         h = (m - m0) / 60
         printf "   RSS %d -> %d KiB (%+.0f KiB per hour)\n", r0, r, (r - r0) / h
         printf "   descriptors %d -> %d, threads %d -> %d\n", f0, f, t0, t
     }' "$samples"
grep -c "录像恢复\|写入录像文件失败\|打开设备 .* 失败" "$folder"/bin/Log/*/*/*.log 2>/dev/null |
    awk -F: '{n += $2} END {printf "   trouble lines in the log: %d\n", n}'
[ "$status" -eq 0 ]
