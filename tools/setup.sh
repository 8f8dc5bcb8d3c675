#!/usr/bin/env bash
# Set-up for a fresh Debian 12 machine: installs the packages the project needs, then builds it into
# build/. Run as root (or with sudo available). Pass --no-install to build only.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  g++ cmake make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev googletest
  clang libclang-rt-14-dev
  libx11-dev
  xvfb xauth xdotool x11-utils openbox
  dbus dbus-daemon at-spi2-core
  fonts-ipafont-gothic
  qt6-translations-l10n
)

if [ "${1:-}" != "--no-install" ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${packages[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_WERROR=ON
cmake --build build -j"$(nproc)"
