#!/usr/bin/env bash
# Installs what is missing, builds and starts Zendra Manager. Without arguments it
# starts against the simulated module; with arguments they are passed on, e.g.
#   scripts/run.sh                 the desktop program with a simulated module
#   scripts/run.sh --update-server HOST   a real module: pick its port in the window
# The desktop program takes no --port: the port is chosen in its port box (and
# remembered for the next run); zendra-cli takes --port.
# Run ./build/bin/zendra-manager --help for its options.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target zendra-manager zendra-cli zendra-modsim
if [ $# -eq 0 ]; then
  set -- --simulate
fi
exec ./build/bin/zendra-manager "$@"
