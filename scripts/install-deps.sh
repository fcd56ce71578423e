#!/usr/bin/env bash
# Installs what building and testing Zendra Manager needs on Debian 12, as root
# (or through sudo). Packages already present are left alone.
#   scripts/install-deps.sh            the Linux build
#   scripts/install-deps.sh windows    and the Windows cross build: mingw-w64 (POSIX
#                                      threads), GoogleTest's sources, wine to run it
set -euo pipefail

packages=(
  build-essential cmake pkg-config dpkg-dev file groff-base
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev libcurl4-openssl-dev libcpp-httplib-dev nlohmann-json3-dev libsqlite3-dev
  fonts-dejavu-core xvfb xauth
)
case "${1:-}" in
  "") ;;
  windows)
    packages+=(
      g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
      binutils-mingw-w64-x86-64 googletest wine wine64 zip
    )
    ;;
  *) echo "usage: $0 [windows]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq || true
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
