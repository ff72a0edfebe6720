#!/usr/bin/env bash
# Runs the whole test suite several times in a row under each preset while two
# CPU-bound processes compete for the cores, to show that no test depends on an idle
# machine. Every run is reported; the exit status is 1 when any run failed.
# Usage: scripts/test-under-load.sh [runs, default 5] [presets, default: default tsan asan]
set -uo pipefail
cd "$(dirname "$0")/.."

runs=${1:-5}
shift || true
presets=("$@")
[ "${#presets[@]}" -gt 0 ] || presets=(default tsan asan)

bash scripts/setup.sh || exit 1
export TMPDIR="${TMPDIR:-/tmp}"

for preset in "${presets[@]}"; do
    cmake --preset "$preset" >/dev/null && cmake --build "build/$preset" || exit 1
done

burners=()
for _ in 1 2; do
    (while :; do :; done) &
    burners+=($!)
done
trap 'kill "${burners[@]}" 2>/dev/null' EXIT

failed=0
summary=()
for preset in "${presets[@]}"; do
    for run in $(seq 1 "$runs"); do
        start=$(date +%s)
        if ctest --preset "$preset" --parallel 2; then
            result=passed
        else
            result=FAILED
            failed=1
        fi
        summary+=("$preset run $run: $result in $(( $(date +%s) - start )) s")
        echo "== ${summary[-1]}"
    done
done

echo "== Under load (two CPU-bound processes), $(nproc) cores:"
printf '   %s\n' "${summary[@]}"
exit $failed
