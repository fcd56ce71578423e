#!/usr/bin/env bash
# The documentation's screenshot tool against a simulated module, offscreen: a
# picture of the window after an Open and of the traffic console after a typed
# command, each a PNG of the window's size; and the desktop program no longer
# takes pictures.
#   ScreenshotsTest.sh BIN    BIN: the folder of zendra-screenshots and zendra-manager
set -uo pipefail
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
failed=0
fail() { echo "FAILED: $*"; failed=1; }

# The PNG's width and height from its IHDR chunk.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}'; }
is_png() { [ "$(od -An -c -j1 -N3 "$1" | tr -d ' ')" = PNG ]; }

cd "$work"
if "$bin/zendra-screenshots" --simulate --screenshot "$work/open.png" --screenshot-after-connect \
     >"$work/open.out" 2>&1; then
  if ! is_png "$work/open.png"; then fail "no PNG after an Open"; fi
  size=$(png_size "$work/open.png")
  [[ "$size" =~ ^[1-9][0-9]{2,}x[1-9][0-9]{2,}$ ]] || fail "the window's picture is $size"
else
  fail "zendra-screenshots --screenshot-after-connect"; cat "$work/open.out"
fi

if "$bin/zendra-screenshots" --simulate --screenshot "$work/console.png" --screenshot-after-connect \
     --screenshot-console --screenshot-console-command ATI >"$work/console.out" 2>&1; then
  is_png "$work/console.png" || fail "no PNG of the console"
else
  fail "zendra-screenshots --screenshot-console"; cat "$work/console.out"
fi

# A picture needs a file; the tool's help names its options.
"$bin/zendra-screenshots" --simulate >"$work/nofile.out" 2>&1
[ $? -eq 2 ] && grep -q -- "--screenshot is required" "$work/nofile.out" ||
  { fail "zendra-screenshots without --screenshot"; cat "$work/nofile.out"; }
"$bin/zendra-screenshots" --help | grep -q -- "--screenshot-remote-run" ||
  fail "zendra-screenshots --help"

# zendra-manager knows nothing of pictures.
"$bin/zendra-manager" --help | grep -q -- "--screenshot" && fail "zendra-manager --help names --screenshot"
"$bin/zendra-manager" --simulate --screenshot "$work/no.png" >"$work/manager.out" 2>&1
[ $? -eq 2 ] && [ ! -e "$work/no.png" ] ||
  { fail "zendra-manager --screenshot was not refused"; cat "$work/manager.out"; }

exit $failed
