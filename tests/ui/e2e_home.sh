# Sourced by the end-to-end scripts: a fresh portable copy of the program in $home/bin
# with a list of simulated cameras and a runtime folder of its own, all removed at exit
# with the program ($pid) killed. fail ends the script, printing $log when it is set;
# stop_program sends SIGTERM and waits for the end.
# Usage: source e2e_home.sh <OrvexClient> <source folder> <cameras>
home=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
    rm -rf "$home"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    [ -n "${log:-}" ] && cat "$log" >&2
    exit 1
}
# Waits at most $1 s for the program to end after SIGTERM.
stop_program() {
    kill -TERM "$pid"
    for ((i = 0; i < $1 * 10; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "no exit within $1 s of SIGTERM"
    pid=
}

mkdir -p "$home/bin" "$home/runtime"
chmod 700 "$home/runtime"  # the running copy's lock: this test's own
cp "$1" "$home/bin/OrvexClient"
bash "$2/scripts/simulated-camera-list.sh" "$home/bin/CameraList.xml" "$3"
export XDG_RUNTIME_DIR=$home/runtime ORVEX_SIMULATED_CAMERAS=$3
