#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the data generator need.
# Does nothing when they are all present; uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git python3
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-multimedia-dev
  libgl-dev libglu1-mesa-dev freeglut3-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev libcpp-httplib-dev zlib1g-dev
  xvfb xauth fonts-liberation2 minizip
  qt6-qpa-plugins libgl1-mesa-dri
  x11-utils xdotool
  desktop-file-utils appstream libxtst-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
