#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite
# (unit, integration and offscreen GUI tests).
#   scripts/test.sh              the normal build (preset "ci": warnings are errors), then
#                                the unit and integration tests again as an unprivileged user
#   scripts/test.sh asan|tsan    the core tests under AddressSanitizer+UBSan / ThreadSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-ci}"

scripts/install-deps.sh
scripts/check-layers.sh
jobs=$(nproc)

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$jobs"

case "$preset" in
  asan|tsan)
    # Sanitizer builds run the core's tests: unit and integration.
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
    ctest --preset "$preset" -L 'unit|integration' -j "$jobs"
    ;;
  *)
    ctest --preset "$preset" -j "$jobs"
    # The same core tests once more as an unprivileged user (as root: "nobody").
    scripts/test-unprivileged.sh build
    ;;
esac
