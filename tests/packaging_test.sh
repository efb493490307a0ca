#!/usr/bin/env bash
# What `cmake --install` puts in place and what CPack packs, and the player's start command.
#   tests/packaging_test.sh BUILD_DIR
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake --install "$build" --prefix "$tmp/usr" > /dev/null
for f in bin/orl bin/orl-publish bin/orl-liza bin/orl-devserver bin/velmora-launcher \
         share/applications/velmora-launcher.desktop \
         share/icons/hicolor/128x128/apps/velmora-launcher.png share/doc/velmora-launcher/README.md; do
  [ -e "$tmp/usr/$f" ] || { echo "not installed: $f"; exit 1; }
done
grep -qx 'Exec=velmora-launcher' "$tmp/usr/share/applications/velmora-launcher.desktop"
grep -qx 'Icon=velmora-launcher' "$tmp/usr/share/applications/velmora-launcher.desktop"
file_type=$(head -c 8 "$tmp/usr/share/icons/hicolor/128x128/apps/velmora-launcher.png" | od -An -tx1 | tr -d ' \n')
[ "$file_type" = 89504e470d0a1a0a ] || { echo "the icon is not a PNG file"; exit 1; }

# The start command makes the game folder and runs the launcher there.
out=$(cd / && ORL_HOME="$tmp/home/Velmora" PATH="$tmp/usr/bin:$PATH" velmora-launcher --version)
[ "$out" = "orl $(sed -n 's/^project(ORL VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../CMakeLists.txt")" ] ||
  { echo "velmora-launcher --version said: $out"; exit 1; }
[ -d "$tmp/home/Velmora" ] || { echo "no game folder made"; exit 1; }

(cd "$build" && cpack -B "$tmp/package" > "$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log"; exit 1; }
deb=$(ls "$tmp"/package/velmora-launcher_*_amd64.deb)
dpkg-deb -c "$deb" > "$tmp/contents"
grep -q '\./usr/bin/orl$' "$tmp/contents"
grep -q '\./usr/share/applications/velmora-launcher.desktop$' "$tmp/contents"
dpkg-deb -f "$deb" Depends > "$tmp/depends"
grep -q 'libqt6webenginewidgets6' "$tmp/depends"
echo "installed files, start command and package are in place"
