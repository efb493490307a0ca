#!/usr/bin/env bash
# Installs every Debian package ORL needs to build, test and run on Debian 12.
# Safe to run again: packages already present are left as they are.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev libssl-dev openssl libcpp-httplib-dev
  zlib1g-dev libminizip-dev
  libx11-dev libxrandr-dev libxtst-dev
  qt6-base-dev qt6-webengine-dev libgl1-mesa-dri
  xvfb xauth fonts-noto-cjk
  python3 curl unzip lz4 nginx
  wine wine64 gcc-mingw-w64-x86-64
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
