#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the tools need; skips what is there.
set -euo pipefail
PKGS=(
  cmake g++ make ninja-build ccache pkg-config clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6serialport6 qt6-qpa-plugins
  libqcustomplot-dev libqcustomplot2.1-qt6
  libcurl4-openssl-dev libjpeg62-turbo-dev libxlsxwriter-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-apps imagemagick xdotool
  python3 python3-xlrd python3-openpyxl python3-aiosmtpd
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
