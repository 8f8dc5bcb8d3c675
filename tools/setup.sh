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
  libcups2-dev libcupsimage2-dev cups-daemon cups-client cups-filters cups-ppdc poppler-utils ghostscript
)
# The printers' own raster filters (rastertolabel, ...) come with the package cups; its recommended
# packages would bring the network discovery daemons, which neither the build nor the tests want.
no_recommends=(cups)

if [ "${1:-}" != "--no-install" ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${packages[@]}"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${no_recommends[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_WERROR=ON
cmake --build build -j"$(nproc)"
