#!/usr/bin/env bash
# Installs the Debian 12 packages the program, its tests and its tools need.
set -euo pipefail
PACKAGES=(
  build-essential cmake pkg-config lld
  qt6-base-dev qt6-base-dev-tools qt6-charts-dev libgl-dev
  libsqlcipher-dev sqlcipher libssl-dev libgsf-1-dev zlib1g-dev
  postgresql libpq-dev
  fonts-noto-cjk qt6-translations-l10n
  cups printer-driver-cups-pdf poppler-utils
  python3-xlrd
  dpkg-dev file lintian desktop-file-utils appstream man-db
  libreoffice-calc-nogui
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
