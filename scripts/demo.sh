#!/usr/bin/env bash
# The demo behind scripts/run.sh: makes a signing key, publishes client 1.0 (as the full client) and
# 1.1 (as an update) for both editions with orl-publish, signed, serves the tree with orl-devserver on
# loopback, prepares a fresh working folder and runs the launcher there, trusting the demo's key.
#   scripts/demo.sh [--headless]
# With a display the player uses the window. Without one, or with --headless, the window runs under
# Xvfb and drives itself: the full install, the update from 1.0 to 1.1 and the hand-over to the game
# updater, then a second start that hands over to the game client; each stage is saved as a PNG.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/bin
demo=${ORL_DEMO_DIR:-$root/build/demo}
headless=0
[ "${1:-}" = "--headless" ] && headless=1
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || headless=1

rm -rf "$demo"
mkdir -p "$demo/releases" "$demo/server" "$demo/work" "$demo/runtime"
chmod 700 "$demo/runtime"

# Two client releases: 1.1 changes one file, adds one and drops one.
release() {
  local dir=$demo/releases/$1
  mkdir -p "$dir/data"
  cp "$bin/orl-demo-game" "$dir/VelmoraEac.exe"
  cp "$bin/orl-demo-game" "$dir/VelmoraGameUpdate.exe"
  seq 1 400000 > "$dir/data/world.pak"
  printf 'patch level %s\n' "$1" > "$dir/data/patch.pak"
}
release 1.0
echo "retired in 1.1" > "$demo/releases/1.0/data/old.pak"
release 1.1
seq 1 3 300000 > "$demo/releases/1.1/data/events.pak"

printf '#!/bin/sh\ncd "$(dirname "$0")" && exec "%s" "$@"\n' "$bin/orl" > "$demo/VelmoraORL.exe"
chmod +x "$demo/VelmoraORL.exe"

"$bin/orl-devserver" "$demo/server" --state "$demo/state" > "$demo/devserver.out" &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ "$(wc -l < "$demo/devserver.out")" -ge 2 ] && break
  sleep 0.1
done
eval "export $(sed -n 's/^\(ORL_[A-Z_]*=.*\)$/\1/p' "$demo/devserver.out" | tr '\n' ' ')"
host=$ORL_UPDATE_HOST
export ORL_WEB_HOST=$host ORL_COMMUNITY_HOST=$host
export XDG_RUNTIME_DIR=$demo/runtime QT_LOGGING_RULES=qt.webenginecontext=false

{
  printf '[BannerURL]\r\n'
  for n in 1 2 3; do printf '%s=%s/index.html\r\n' "$n" "$host"; done
  printf '[ImageURL]\r\n'
  for n in 1 2 3; do printf '%s=%s/banner/%s.html\r\n' "$n" "$host" "$n"; done
} > "$demo/orl.ini"

editions=()
for edition in orvin kessa; do
  editions+=(--edition "$edition" --release 1.0 "$demo/releases/1.0" --release 1.1 "$demo/releases/1.1" --full 1.0)
done
"$bin/orl-publish" keygen "$demo/keys" >/dev/null
"$bin/orl-publish" "$demo/server" "${editions[@]}" --starter "$demo/VelmoraORL.exe" --orl-ini "$demo/orl.ini" \
  --web "$root/demo/web" --sign "$demo/keys/orl-signing.key"
export ORL_TRUSTED_KEYS=$demo/keys/orl-signing.pub
echo "Update server: $host, serving $demo/server, signed with the key in $demo/keys"
echo "Working folder: $demo/work"

cd "$demo/work"
if [ "$headless" = 0 ]; then
  "$bin/orl"
  exit 0
fi

echo "No display (or --headless): the launcher drives itself under Xvfb."
xvfb-run -a -s '-screen 0 1920x1080x24' bash -c '
  set -e
  echo "== First start: install the full client, then update it and hand over"
  "$1/orl" --drive --shots "$2/shots/1-install-and-update"
  echo "== Second start: the client is current"
  "$1/orl" --drive --shots "$2/shots/2-current"
' demo "$bin" "$demo"
echo
echo "What the game programs were given (Orvin/handover.log):"
cat "$demo/work/Orvin/handover.log"
printf 'Installed client version: %s\n' "$(tr -d '\0' < "$demo/work/Orvin/List.mfm")"
echo "Screenshots:"
find "$demo/shots" -name '*.png' | sort
