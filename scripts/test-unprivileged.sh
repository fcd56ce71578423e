#!/usr/bin/env bash
# Runs the unit and integration tests of an existing build as an unprivileged user.
# Serial ports and their permissions behave differently for root (the exclusive
# flag of a terminal, for one, does not bind root), so the suite must pass both
# ways. Run as root it drops to "nobody"; run as anyone else it runs as that user.
#   scripts/test-unprivileged.sh [build folder]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"

# ctest writes its logs under Testing/; the tests write only to the temporary folder.
mkdir -p "$build/Testing/Temporary"
chmod -R a+rwX "$build/Testing"

run=(ctest --test-dir "$build" -L 'unit|integration' -j "$(nproc)" --output-on-failure)
if [ "$(id -u)" -eq 0 ]; then
  echo "== unit and integration tests as the unprivileged user nobody"
  exec setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env "${run[@]}"
fi
exec "${run[@]}"
