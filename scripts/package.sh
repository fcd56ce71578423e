#!/usr/bin/env bash
# Builds the Debian package of Zendra Manager: installs what is missing, builds the two
# programs with the preset "package" (-O2, hardened, no tests) in build-pkg/ and
# packs them with CPack: build-pkg/zendra-manager_VERSION_ARCH.deb. Install it with
#   sudo apt install ./build-pkg/zendra-manager_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake --preset package >/dev/null
cmake --build --preset package -j "$(nproc)"
# A package of an earlier version must not be taken for this one.
rm -f build-pkg/zendra-manager_*.deb
cpack --preset deb >/dev/null
ls build-pkg/zendra-manager_*.deb
