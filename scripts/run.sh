#!/usr/bin/env bash
# Installs what is missing, builds and starts Zendra Manager. Without arguments it
# starts against the simulated module; with arguments they are passed on, e.g.
#   scripts/run.sh                 the desktop program with a simulated module
#   scripts/run.sh --port /dev/ttyUSB0   (not simulated: pick the port in the window)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target zendra-manager zendra-cli zendra-modsim
if [ $# -eq 0 ]; then
  set -- --simulate
fi
exec ./build/bin/zendra-manager "$@"
