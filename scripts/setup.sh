#!/usr/bin/env bash
# Set-up for a fresh Debian 12 machine: installs the packages the project needs, then builds it into
# build/. Run as root (or with sudo available). Pass --no-install to build only.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  g++ cmake make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev googletest
  clang libclang-rt-14-dev clang-format
  libx11-dev libxcb1-dev
  xvfb xauth xdotool x11-utils openbox iproute2
  weston qt6-wayland
  dbus dbus-daemon at-spi2-core
  fonts-ipafont-gothic
  qt6-translations-l10n
  scdoc lintian dpkg-dev file desktop-file-utils
)
# CUPS without its recommends (which pull in avahi): the scheduler and clients for the private cupsd of
# the tests, the PPD compiler and tester, the sample label filters, the CUPS API and raster headers,
# the rasterizers and the PDF and PostScript tools of the print chain, a label-printer driver Debian
# ships (printer-driver-dymo) whose raster holds only the printable area, and the IPP Everywhere printer
# simulator with the Avahi daemon it needs to start (the tests run both on a private bus).
cups_packages=(cups cups-daemon cups-client cups-ppdc libcups2-dev libcupsimage2-dev cups-filters
  poppler-utils ghostscript printer-driver-dymo cups-ipp-utils avahi-daemon)

if [ "${1:-}" != "--no-install" ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${packages[@]}"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${cups_packages[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_WERROR=ON
cmake --build build -j"$(nproc)"
