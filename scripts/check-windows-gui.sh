#!/usr/bin/env bash
# The desktop program's sources as the Windows cross compiler sees them. Qt for
# Windows is not in the archives this machine reaches, so the windows cannot be
# linked for Windows here; this compiles every window source (syntax and types
# only, -fsyntax-only) with x86_64-w64-mingw32 against the build machine's Qt
# headers, which Qt keeps the same across systems. It fails on what would break
# the Windows build of the desktop program on our side: a POSIX call or header in
# a window, a platform source of the wrong system, a name only Linux declares.
# What it cannot show: that Qt for Windows links and runs them.
#   scripts/check-windows-gui.sh [HOST_HEADERS_DIR, default build-win/host-headers]
set -euo pipefail
cd "$(dirname "$0")/.."

host_headers=${1:-build-win/host-headers}
qt=$(ls -d /usr/include/*-linux-gnu/qt6 2>/dev/null | head -n 1 || true)
if [ -z "$qt" ] || [ ! -d "$qt/QtWidgets" ]; then
  echo "check-windows-gui: Qt 6 headers are not installed (scripts/install-deps.sh); not checked" >&2
  exit 1
fi
[ -d "$host_headers/CLI" ] || { echo "check-windows-gui: $host_headers has no CLI11 (configure the windows preset first)" >&2; exit 1; }
cxx=$(command -v x86_64-w64-mingw32-g++-posix || true)
[ -n "$cxx" ] || { echo "check-windows-gui: x86_64-w64-mingw32-g++-posix is missing (scripts/install-deps.sh windows)" >&2; exit 1; }

# A Windows build takes the Win32 sources of the platform seam, never the POSIX
# (or libcurl) ones.
mapfile -t sources < <(ls src/app/*.cpp src/*/ui/*.cpp src/widgets/*.cpp | grep -Ev '(Posix|Curl)\.cpp$')
version=$(sed -n 's/^project(ZendraManager VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
export cxx qt host_headers version
# -Wno-attributes: the Linux headers declare Qt's exports without dllimport.
printf '%s\n' "${sources[@]}" | xargs -P "$(nproc)" -I{} sh -c '
  "$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -Wno-attributes \
    -DZENDRA_VERSION="\"$version\"" -Isrc -Ires -I"$host_headers" \
    -I"$qt" -I"$qt/QtWidgets" -I"$qt/QtGui" -I"$qt/QtCore" {} \
    || { echo "check-windows-gui: {} does not compile for Windows" >&2; exit 255; }'
echo "check-windows-gui: ${#sources[@]} window sources compile for Windows (syntax and types)"
