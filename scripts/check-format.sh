#!/usr/bin/env bash
# Checks that the lines a change touches are formatted as .clang-format says: the
# C++ files changed since the merge base with BASE (default: main; in a checkout
# without it, the commit before HEAD), compared line by line, so that a touched
# file's older lines are not held against the change.
#   scripts/check-format.sh [BASE]
# Fails with the reformatting clang-format would make.
set -euo pipefail
cd "$(dirname "$0")/.."
base="${1:-main}"
if ! git rev-parse --verify -q "$base^{commit}" >/dev/null; then
  base="HEAD~1"
  git rev-parse --verify -q "$base^{commit}" >/dev/null || { echo "format: no history to compare"; exit 0; }
fi
since=$(git merge-base HEAD "$base")
# Committed and uncommitted changes alike.
diff=$(git clang-format --quiet --diff "$since" -- '*.cpp' '*.h' 2>&1 || true)
if [ -z "$diff" ] || [[ "$diff" == *"no modified files to format"* ]] ||
   [[ "$diff" == *"clang-format did not modify any files"* ]]; then
  echo "format: the changed lines since $(git rev-parse --short "$since") are formatted"
  exit 0
fi
echo "format: these changed lines are not formatted as .clang-format says:"
echo "$diff"
exit 1
