#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds ORL and runs the launcher's main job.
# Until the launcher window exists, the main job is the test build: it builds everything and runs
# every test.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "The launcher window is not built yet: building ORL and running its tests instead."
exec ./scripts/test.sh
