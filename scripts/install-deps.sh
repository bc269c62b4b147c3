#!/usr/bin/env bash
# Installs the Debian 12 packages Pelorin builds and tests with, when missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev
  libcli11-dev nlohmann-json3-dev
  libssl-dev libpugixml-dev
  libsystemd-dev libudev-dev libblkid-dev
  libewf-dev ewf-tools
  libjpeg-dev
  clang libclang-rt-14-dev
  qt6-base-dev qt6-image-formats-plugins
  qt6-multimedia-dev gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  xvfb xauth
  dpkg-dev lintian desktop-file-utils appstream libxml2-utils
  dbus-daemon python3-dbus python3-gi
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
