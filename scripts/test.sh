#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds ORL and runs every test.
#   scripts/test.sh             the whole build and every test
#   scripts/test.sh --sanitize  the toolkit-free libraries and tests again, with ASan and UBSan
set -euo pipefail
cd "$(dirname "$0")/.."

"$(dirname "$0")/setup.sh"

jobs=$(nproc)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-sanitize
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORL_SANITIZE=ON -DORL_WITH_QT=OFF -DORL_WERROR=ON
  cmake --build "$build" -j "$jobs"
  # A small quarantine for freed memory, so the memory bounds that tests check hold here as well.
  ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=8 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$build" --output-on-failure -j "$jobs" -L 'unit|integration'
else
  build=build
  cmake -S . -B "$build" -G Ninja -DORL_WERROR=ON
  cmake --build "$build" -j "$jobs"
  ctest --test-dir "$build" --output-on-failure -j "$jobs"
fi
