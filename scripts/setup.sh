#!/usr/bin/env bash
# Installs every Debian package needed to build, run and test Brelvik.
# Idempotent: does nothing when everything is already installed.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build make pkg-config
  libgtest-dev
  qt6-base-dev libqt6opengl6-dev qt6-qpa-plugins
  libglu1-mesa-dev libgl-dev libgl1-mesa-dri libglx-mesa0
  xvfb xauth
  fonts-dejavu-core
  python3-vtk9
  openmpi-bin libopenmpi-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
