#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds ORL and runs the launcher in its working folder.
#   scripts/run.sh            with a display: the launcher window; without one: the window under
#                             Xvfb, saved as a PNG file whose path is printed
# The working folder is $ORL_HOME (default ~/Velmora); the update host is $ORL_UPDATE_HOST.
set -euo pipefail
cd "$(dirname "$0")/.."

"$(dirname "$0")/setup.sh"
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)"

orl="$PWD/build/bin/orl"
work=${ORL_HOME:-$HOME/Velmora}
mkdir -p "$work"
cd "$work"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$orl" "$@"
fi
shot="$work/orl-window.png"
echo "No display: running the launcher under Xvfb for 10 s."
xvfb-run -a -s '-screen 0 1920x1080x24' "$orl" --screenshot "$shot" --screenshot-after 10000 "$@"
echo "The launcher window as it showed: $shot"
