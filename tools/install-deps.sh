#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Idempotent and quiet: only missing packages are installed; runs as root or
# through sudo.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config git
  libsdl2-dev liblua5.2-dev libstb-dev libsqlite3-dev libvorbis-dev libsoxr-dev zlib1g-dev
  libpng-dev # only the picture tests, which have it write PNGs of every kind
  libgl-dev libgl1-mesa-dri mesa-utils
  adwaita-icon-theme libpython3.11-testsuite # real pictures for the texture tests
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  xvfb xauth xdotool
  python3 # a real HTTP server for the web client's interop test
  sound-theme-freedesktop sox alsa-utils
  libsdl2-mixer-dev # only the audio benchmark, which compares against it
  libcurl4-openssl-dev # only the web benchmark, which compares against it
  fonts-dejavu-core # source of the console font (tools/bake-console-font.sh)
  locales
  libssl-dev # only the formats benchmark, which compares against OpenSSL
  clang-14 libclang-rt-14-dev # the fuzz targets (libFuzzer)
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
if [ ${#missing[@]} -ne 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq >/dev/null
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Tests check that number text and parsing ignore a comma-decimal locale.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
  echo "install-deps: generating the de_DE.UTF-8 locale"
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi

# Tests check that Base64 decoding ignores a single-byte locale's letters.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.iso88591'; then
  echo "install-deps: generating the de_DE.ISO-8859-1 locale"
  $SUDO localedef -i de_DE -f ISO-8859-1 de_DE.ISO-8859-1
fi
