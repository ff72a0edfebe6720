#!/usr/bin/env bash
# One running copy per settings folder, tried on the real program under Xvfb with a
# simulated camera: two portable copies (a and c, each with its own settings) run side
# by side; a second start of a brings a's window above c's and exits 0 without a log
# file or a window of its own; after kill -9 of a, its lock left behind blocks nothing;
# copies that end leave nothing in the runtime folder.
# The window stacking is read with xwininfo and xprop (x11-utils).
# Usage: xvfb-run -a single_instance_test.sh <OrvexClient> <version>
set -uo pipefail
exe=${1:?usage: single_instance_test.sh <OrvexClient> <version>}
version=${2:?}
# Bounds, generous for a sanitizer build on a loaded machine.
window_bound_s=240
handover_bound_s=120
end_bound_s=120

tmp=$(realpath "$(mktemp -d)")
declare -A pid=()
cleanup() {
    for p in "${pid[@]}"; do kill -9 "$p" 2>/dev/null; done
    rm -rf "$tmp"
}
trap cleanup EXIT

mkdir -m 0700 "$tmp/run"
mkdir -p "$tmp/home"
export XDG_RUNTIME_DIR=$tmp/run HOME=$tmp/home ORVEX_SIMULATED_CAMERAS=1
unset XDG_CONFIG_HOME XDG_STATE_HOME
for copy in a c; do
    mkdir -p "$tmp/$copy/bin"
    cp "$exe" "$tmp/$copy/bin/OrvexClient"
    printf '[CFG]\nRecordDir=%s\n' "$tmp/$copy/rec" >"$tmp/$copy/bin/OrvexCfg.ini"
    cat >"$tmp/$copy/bin/CameraList.xml" <<'LIST'
<?xml version="1.0" ?>
<CameraList>
    <Item>
        <DeviceIndex>0</DeviceIndex>
        <DeviceName>Simulated Camera 1</DeviceName>
        <CustomDeviceName>门口</CustomDeviceName>
        <Width>640</Width>
        <Height>480</Height>
        <FrameRate>30</FrameRate>
    </Item>
</CameraList>
LIST
done

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

start() {
    "$tmp/$1/bin/OrvexClient" >>"$tmp/$1.out" 2>&1 &
    pid[$1]=$!
}

running() { kill -0 "${pid[$1]}" 2>/dev/null; }

# The process ids of the shown top-level windows, the topmost first.
shown_window_pids() {
    local window
    for window in $(xwininfo -root -children | awk '$1 ~ /^0x/ {print $1}'); do
        xwininfo -id "$window" | grep -q 'Map State: IsViewable' || continue
        xprop -id "$window" _NET_WM_PID | awk '/= / {print $3}'
    done
}

# Waits up to bound seconds for copy's window to be shown, or to be the topmost.
wait_window() {
    local copy=$1 where=$2 bound=$3 deadline=$((SECONDS + $3))
    while running "$copy"; do
        case $where in
            shown) shown_window_pids | grep -qx "${pid[$copy]}" && return 0 ;;
            top) [ "$(shown_window_pids | head -1)" = "${pid[$copy]}" ] && return 0 ;;
        esac
        [ "$SECONDS" -lt "$deadline" ] || break
        sleep 0.2
    done
    fail "waited ${bound} s for the window of copy $copy (pid ${pid[$copy]}) to be $where:" \
        "$(running "$copy" && echo running || echo "it ended")"
    cat "$tmp/$copy.out"
    return 1
}

log_files() { find "$tmp/$1/bin/Log" -type f 2>/dev/null | sort; }

# Starts copy again while it runs: the start must hand over and exit 0 with one line.
# While copy itself is starting (a second argument) its log may still appear.
second_start() {
    local copy=$1 starting=${2:-} logs before after rc
    logs=$(log_files "$copy")
    before=$(date +%s%N)
    timeout "$handover_bound_s" "$tmp/$copy/bin/OrvexClient" >"$tmp/second.out" 2>"$tmp/second.err"
    rc=$?
    after=$(date +%s%N)
    echo "second start of copy $copy: exit $rc after $(((after - before) / 1000000)) ms"
    [ "$rc" -eq 0 ] || fail "second start of copy $copy: exit $rc (124: no end within ${handover_bound_s} s)"
    [ ! -s "$tmp/second.out" ] || fail "second start printed on stdout: $(cat "$tmp/second.out")"
    if [ "$(wc -l <"$tmp/second.err")" -ne 1 ] ||
        ! grep -q "^OrvexClient: already running with the settings in $tmp/$copy/bin/" "$tmp/second.err"; then
        fail "second start of copy $copy wrote to stderr: $(cat "$tmp/second.err")"
    fi
    [ -n "$starting" ] || [ "$(log_files "$copy")" = "$logs" ] ||
        fail "second start of copy $copy started a log file"
    running "$copy" || fail "copy $copy ended after a second start"
}

# Ends copy as a logout does; it must close in order.
end_copy() {
    local copy=$1 deadline=$((SECONDS + end_bound_s)) rc
    kill -TERM "${pid[$copy]}"
    while running "$copy" && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.2; done
    if running "$copy"; then
        fail "copy $copy did not end within ${end_bound_s} s of SIGTERM"
        return
    fi
    wait "${pid[$copy]}"
    rc=$?
    unset "pid[$copy]"
    [ "$rc" -eq 0 ] || fail "copy $copy ended with $rc after SIGTERM: $(cat "$tmp/$copy.out")"
}

# Two copies with their own settings both run, the later one on top.
start a
wait_window a shown "$window_bound_s" || exit 1
lock_a=$(find "$tmp/run" -name '*.lock')
start c
wait_window c shown "$window_bound_s" || exit 1
wait_window c top "$window_bound_s" || exit 1
[ "$(find "$tmp/run" -name '*.lock' | wc -l)" -eq 2 ] || fail "not one lock per copy: $(ls "$tmp/run")"

# A second start of a raises a's window above c's, and only a's.
second_start a
wait_window a top "$handover_bound_s"
running c || fail "copy c ended after a second start of copy a"

# The options that answer at once still do while a copy runs.
[ "$("$tmp/a/bin/OrvexClient" --version)" = "OrvexClient $version" ] || fail "--version while a runs"
"$tmp/a/bin/OrvexClient" --paths | grep -qFx "log folder:    $tmp/a/bin/Log" || fail "--paths while a runs"

# The lock of a copy killed with -9 blocks no later start. A second start made as soon
# as the new copy holds the lock, before it listens, waits for it and hands over.
kill -9 "${pid[a]}"
wait "${pid[a]}" 2>/dev/null
unset "pid[a]"
start a
deadline=$((SECONDS + window_bound_s))
while flock -n "$lock_a" true && running a && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.05; done
flock -n "$lock_a" true && fail "waited ${window_bound_s} s for the restarted copy a to hold its lock"
second_start a starting
wait_window a shown "$window_bound_s" || exit 1
[ "$(shown_window_pids | grep -cx "${pid[a]}")" -eq 1 ] || fail "copy a shows more than one window"

end_copy a
end_copy c
# A copy that ends removes its lock and socket; the killed copy's were taken over.
[ -z "$(ls -A "$tmp/run")" ] || fail "left in the runtime folder: $(ls -A "$tmp/run")"
[ "$failures" -eq 0 ] && echo "single instance: all cases pass"
exit $((failures > 0))
