#!/usr/bin/env bash
# Makes the one Wine prefix that the tests of a run share (Wine's first start in a prefix is slow).
# Without wine this fails, and with it every test that needs the prefix: scripts/setup.sh installs it.
set -euo pipefail
prefix="$1"
command -v wine >/dev/null || { echo "wine is not installed (scripts/setup.sh installs it)" >&2; exit 1; }
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
wine wineboot --init
# The prefix is whole once its server has saved the registry and gone.
wineserver -w
test -f "$prefix/system.reg"
