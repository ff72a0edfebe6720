#!/usr/bin/env bash
# --catalog-check and --verify as an operator runs them, without a display, against the
# RecordDir of a portable copy's settings: each row runs the copy on the folder as the
# rows before left it and checks the exit code and a line of the output.
# Usage: catalog_command_test.sh <OrvexClient>
set -uo pipefail
exe=${1:?usage: catalog_command_test.sh <OrvexClient>}
tmp=$(mktemp -d)
trap 'chmod -R u+w "$tmp"; rm -rf "$tmp"' EXIT
mkdir -p "$tmp/bin" "$tmp/home"
cp "$exe" "$tmp/bin/OrvexClient"
rec="$tmp/rec"
printf '[CFG]\nRecordDir=%s\n' "$rec" >"$tmp/bin/OrvexCfg.ini"

run() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_CONFIG_HOME -u XDG_STATE_HOME \
        HOME="$tmp/home" "$tmp/bin/OrvexClient" "$@"
}

# A recording of ten access units (a key frame, then P slices) that ends a minute after
# the start in its name.
record() {
    local file="$rec/$1"
    mkdir -p "$(dirname "$file")"
    {
        printf '\x00\x00\x00\x01\x09\xf0\x00\x00\x00\x01\x67\x42\x00\x00\x00\x01\x68\xce\x00\x00\x01\x65\x88\x11\x22'
        for _ in 1 2 3 4 5 6 7 8 9; do printf '\x00\x00\x00\x01\x09\xf0\x00\x00\x01\x41\x88\x33\x44'; done
    } >"$file"
    touch -d "$2" "$file"
}

failures=0
check() {
    local code=$1 line=$2
    shift 2
    output=$(run "$@" 2>&1)
    rc=$?
    if [ "$rc" -ne "$code" ] || ! grep -qFx -- "$line" <<<"$output"; then
        echo "FAIL: OrvexClient $*: exit $rc (want $code), want the line '$line' in:"
        echo "$output"
        failures=$((failures + 1))
    fi
}

check 1 "recordings: $rec does not exist: nothing to check" --catalog-check
mkdir -p "$rec"
check 3 "verify: no readable catalog at $rec/OrvexCatalog.sqlite3" --verify
record cam/2024-01-02/12-00-00.264 "2024-01-02 12:01:00"
check 0 "camera cam: 1 files, 0.02 hours, 0 gaps" --catalog-check
check 0 "  file 2024-01-02 12:00:00 - 2024-01-02 12:01:00  142 bytes  cam/2024-01-02/12-00-00.264" \
    --catalog-check
# A file the catalog only found was never sealed: nothing proves it.
check 1 "  INSERTED  cam/2024-01-02/12-00-00.264  found by a scan, never sealed" --verify
check 1 "0 hold, 1 do not hold" --verify cam 2024-01-02
check 0 "all 0 hold" --verify cam 2024-01-03
check 2 "verify: '2024-13-01' is no day (yyyy-mm-dd)" --verify cam 2024-13-01
check 2 "verify: no camera 'nobody' in $rec" --verify nobody
check 2 "OrvexClient: unexpected argument 'x'." --verify cam 2024-01-02 x
# A read-only archive: checked in memory, nothing written into it.
chmod -R a-w "$rec"
if [ ! -w "$rec" ]; then
    record_files=$(find "$rec" | sort)
    check 0 "camera cam: 1 files, 0.02 hours, 0 gaps" --catalog-check
    [ "$(find "$rec" | sort)" = "$record_files" ] || {
        echo "FAIL: --catalog-check wrote into a read-only folder"
        failures=$((failures + 1))
    }
fi

left=$(cd "$tmp" && find bin home -mindepth 1 | sort | tr '\n' ' ')
if [ "$left" != "bin/OrvexCfg.ini bin/OrvexClient " ]; then
    echo "FAIL: the commands left files behind: $left"
    failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] && echo "catalog commands: all rows pass"
exit $((failures > 0))
