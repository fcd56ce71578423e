#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite
# (unit, integration and offscreen GUI tests).
#   scripts/test.sh              the normal build (preset "ci": warnings are errors), then
#                                the unit and integration tests again as an unprivileged user
#   scripts/test.sh asan         the core tests under AddressSanitizer+UBSan
#   scripts/test.sh tsan         the core tests under ThreadSanitizer
#   scripts/test.sh tsan-gui     the core tests and the offscreen window tests under
#                                ThreadSanitizer (CI's TSan run; see docs/architecture.md,
#                                "ThreadSanitizer and the windows")
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-ci}"

scripts/install-deps.sh
scripts/check-layers.sh
# The lines this branch changed, formatted as .clang-format says (once, with the
# normal build).
if [ "$preset" = ci ]; then scripts/check-format.sh; fi
jobs=$(nproc)

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$jobs"

case "$preset" in
  asan)
    # The core's tests: unit and integration.
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ctest --preset "$preset" -L 'unit|integration' -j "$jobs"
    ;;
  tsan)
    # The core's tests: unit and integration.
    export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
    ctest --preset "$preset" -L 'unit|integration' -j "$jobs"
    ;;
  tsan-gui)
    # The core's tests and the windows' (offscreen). Debian's Qt and GLib are not
    # built for TSan: their own accesses are left out (ignore_noninstrumented_modules)
    # and tests/tsan.supp names their internals, each line explained. The tests that
    # time the window's event loop cannot hold under TSan's slowdown; tests/tsan-excluded
    # names them with the reason.
    # The core's tests first, alone as in the core's own run (some of them time the
    # simulated module's line), then the windows'.
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=$PWD/tests/tsan.supp"
    excluded=$(grep -v '^#' tests/tsan-excluded | grep -v '^$' | paste -sd'|')
    ctest --preset "$preset" -L 'unit|integration' -E "$excluded" -j "$jobs"
    ctest --preset "$preset" -L gui -E "$excluded" -j "$jobs"
    ;;
  *)
    ctest --preset "$preset" -j "$jobs"
    # The same core tests once more as an unprivileged user (as root: "nobody").
    scripts/test-unprivileged.sh build
    ;;
esac
