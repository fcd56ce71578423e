#!/usr/bin/env bash
# Installs what building and testing Zendra Manager needs on Debian 12, as root
# (or through sudo). Packages already present are left alone.
#   scripts/install-deps.sh            the Linux build
#   scripts/install-deps.sh windows    and the Windows cross build: mingw-w64 (POSIX
#                                      threads), GoogleTest's sources, wine to run it
set -euo pipefail

packages=(
  build-essential cmake pkg-config dpkg-dev file groff-base git clang-format
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev libcurl4-openssl-dev libcpp-httplib-dev nlohmann-json3-dev libsqlite3-dev
  fonts-dejavu-core xvfb xauth
)
# wine is installed with its recommended libraries, as it was when the Windows
# tests were made to pass; the rest without.
windows_packages=()
case "${1:-}" in
  "") ;;
  windows)
    packages+=(
      g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
      binutils-mingw-w64-x86-64 googletest zip python3
    )
    windows_packages=(wine wine64)
    ;;
  *) echo "usage: $0 [windows]" >&2; exit 2 ;;
esac

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
missing_wine=()
for p in "${windows_packages[@]}"; do installed "$p" || missing_wine+=("$p"); done
[ ${#missing[@]} -eq 0 ] && [ ${#missing_wine[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq || true
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ ${#missing_wine[@]} -gt 0 ]; then
  $SUDO apt-get install -y -qq "${missing_wine[@]}"
fi
