#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when missing.
set -euo pipefail
packages=(cmake g++ ninja-build pkg-config qt6-base-dev qt6-serialport-dev qt6-multimedia-dev
          libqt6multimedia6 libsqlite3-dev libxlsxwriter-dev libchm-dev libgtest-dev libgl-dev zlib1g-dev unzip poppler-utils
          qt6-translations-l10n)  # Qt's own dialogs in Russian
if [ "${1:-}" = "--gui" ]; then
  packages+=(xvfb xauth)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages need root: apt-get install ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
