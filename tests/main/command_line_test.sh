#!/usr/bin/env bash
# The command line as an operator meets it, without a display: each row runs a copy
# of the executable (a portable copy in a temporary folder) and checks the exit code
# and a line of its output. Afterwards nothing but the copy may lie beside it: these
# commands start no log and write no settings.
# Usage: command_line_test.sh <OrvexClient> <version>
set -uo pipefail
exe=${1:?usage: command_line_test.sh <OrvexClient> <version>}
version=${2:?}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/bin" "$tmp/home"
cp "$exe" "$tmp/bin/OrvexClient"
printf '[CFG]\nRecordDir=/srv/rec\n' >"$tmp/bin/OrvexCfg.ini"

run() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_CONFIG_HOME -u XDG_STATE_HOME \
        HOME="$tmp/home" "$tmp/bin/OrvexClient" "$@"
}

failures=0
# exit code | expected line (grep -F -x) | arguments
while IFS='|' read -r code line args; do
    [ -n "$code" ] || continue
    read -ra argv <<<"$args"
    output=$(run "${argv[@]}" 2>&1)
    rc=$?
    if [ "$rc" -ne "$code" ] || ! grep -qFx -- "$line" <<<"$output"; then
        echo "FAIL: OrvexClient $args: exit $rc (want $code), want the line '$line' in:"
        echo "$output"
        failures=$((failures + 1))
    fi
done <<EOF_CASES
0|OrvexClient $version|--version
0|OrvexClient $version|-v
0|Usage: OrvexClient [options]|--help
0|Usage: OrvexClient [options]|--help-all
0|  --paths          Print where the settings file, the camera list, the log|-h
0|settings file: $tmp/bin/OrvexCfg.ini|--paths
0|camera list:   $tmp/bin/CameraList.xml|--paths
0|log folder:    $tmp/bin/Log|--paths
0|recordings:    /srv/rec|--paths
0|log folder:    $tmp/bin/Log|--simulated 4 --paths
0|log folder:    $tmp/bin/Log|-platform offscreen -style=fusion --paths
2|OrvexClient: Unknown option 'bogus'.|--bogus
2|Try 'OrvexClient --help' for more information.|--bogus
2|OrvexClient: unexpected argument 'extra'.|extra
2|OrvexClient: Missing value after '--simulated'.|--simulated
2|OrvexClient: --simulated needs a number from 0 to 10, not 'four'.|--simulated four
2|OrvexClient: --simulated needs a number from 0 to 10, not '11'.|--simulated 11
2|OrvexClient: --export needs CAMERA FROM TO FILE.mp4.|--export 前门
2|OrvexClient: --export: 'yesterday' is not a time of the form yyyy-mm-dd hh:mm:ss|--export 前门 yesterday 2026-01-01 x.mp4
EOF_CASES

left=$(cd "$tmp" && find bin home -mindepth 1 | sort | tr '\n' ' ')
if [ "$left" != "bin/OrvexCfg.ini bin/OrvexClient " ]; then
    echo "FAIL: the commands left files behind: $left"
    failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] && echo "command line: all rows pass"
exit $((failures > 0))
