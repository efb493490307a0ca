#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds ORL and runs the demo: client 1.0 and its update to 1.1
# published on a loopback update server, and the launcher in a fresh working folder.
#   scripts/run.sh              with a display: the launcher window to install, update and start
#   scripts/run.sh --headless   (also without a display) the window drives itself under Xvfb and
#                               saves a PNG at each stage; the paths are printed at the end
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)"
exec scripts/demo.sh "$@"
