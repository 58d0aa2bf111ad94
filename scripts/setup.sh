#!/usr/bin/env bash
# Installs what the build, the tests and the demo need, and the packages named as arguments
# (scripts/windows.sh adds its own); a no-op when all is present.
set -euo pipefail
pkgs=("$@" build-essential cmake ninja-build pkg-config qt6-base-dev qt6-serialport-dev qt6-charts-dev
      libqt6opengl6-dev libqt6sql6-sqlite libqt6sql6-psql postgresql libgl-dev libgtest-dev libgmock-dev libbenchmark-dev libpugixml-dev clang xvfb xauth
      imagemagick python3-xlrd poppler-utils libqt6svg6 qt6-translations-l10n fonts-dejavu-core xdotool lintian appstream)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get -o DPkg::Lock::Timeout=600 update
  $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}"
fi
