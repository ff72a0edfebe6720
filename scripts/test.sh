#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test through CTest: the
# normal build first, then every test again under ThreadSanitizer
# and under AddressSanitizer with UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

# Tests never write under $HOME; give them their own temporary root.
export TMPDIR="${TMPDIR:-/tmp}"

cmake --preset default
cmake --build build/default
ctest --preset default --parallel 2

for preset in tsan asan; do
  cmake --preset "$preset"
  cmake --build "build/$preset"
  ctest --preset "$preset" --parallel 2
done
