#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Idempotent and quiet: only missing packages are installed; runs as root or
# through sudo.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config git
  libsdl2-dev liblua5.2-dev libstb-dev libsqlite3-dev
  libgl-dev libgl1-mesa-dri mesa-utils
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  xvfb xauth xdotool
  sound-theme-freedesktop sox
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
