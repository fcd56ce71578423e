#!/usr/bin/env bash
# The Windows build, tested here: installs what it needs (mingw-w64, GoogleTest's
# sources, wine), builds zendra-cli.exe and the unit tests (preset "windows"),
# runs the unit tests under wine, makes the zip, and then runs the acceptance set
# (tests/windows/acceptance.sh: zendra-cli.exe under wine against the simulated
# module) when it is there.
#   scripts/test-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh windows
scripts/check-layers.sh
jobs=$(nproc)

cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
# The desktop program's windows cannot be linked for Windows here (no Qt for
# Windows); they are compiled for it against the host's Qt headers.
scripts/check-windows-gui.sh

# wine runs in a prefix of its own inside the build folder, made on the first run
# and kept for the next (making one takes most of a minute).
export WINEPREFIX="$PWD/build-win/wine"
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs: the programs need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine64 || command -v wine)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot --init >/dev/null 2>&1 </dev/null || true
  wineserver -w 2>/dev/null || true
fi
# The first program of a wine session starts the prefix's services (services.exe,
# winedevice, rpcss, explorer, ...), and they inherit its output. Started by a test,
# they would hold that test's output pipe open for as long as the session lives, and
# ctest would wait on a test that has long ended (and a test starting beside them
# can stall until its time-out). So the session is started here, kept alive for
# the tests, and its services hold nothing of ctest's.
wineserver -p >/dev/null 2>&1 </dev/null
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
"$wine" wineboot >/dev/null 2>&1 </dev/null || true
ctest --preset windows -j "$jobs"

cpack --preset windows-zip >/dev/null
zip="build-win/zendra-cli-$(sed -n 's/^project(ZendraManager VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)-win64.zip"
[ -f "$zip" ] || { echo "test-windows: $zip was not made" >&2; exit 1; }
echo "test-windows: $zip"

if [ -x tests/windows/acceptance.sh ]; then
  # The simulated module is the Linux build's: build it when the Linux suite has not.
  if [ ! -x build/bin/zendra-modsim ]; then
    cmake --preset ci >/dev/null
    cmake --build build --target zendra-modsim -j "$jobs"
  fi
  tests/windows/acceptance.sh build-win build
fi
