#!/usr/bin/env bash
# Checks that every file of src/ includes only its own layer and the layers below it:
#   base -> serial -> device -> {config, firmware, discovery, webupdate} -> production
#   -> {cli, app}
# with the Qt kit (src/widgets) above device and below the windows (src/*/ui, src/app).
# The production line (src/production) uses config and firmware; no window uses it.
#
# Each subsystem's windows (config/ui, firmware/ui, ...) are a layer of their own:
# one subsystem's window uses another's only through what the shell (src/app) hands
# it, save the uses listed in `ui_across` below, each explained in
# docs/architecture.md ("Windows that use another subsystem's"). Every include of
# the project names its folder ("device/Connection.h", not "Connection.h"), and the
# Qt kit is included only by the windows, src/widgets and src/app.
#
# It also keeps the platform seam: a POSIX header (unistd.h, termios.h, sys/...)
# is included only by a file named *Posix.cpp or *Posix.h, a Windows header
# (windows.h, winhttp.h, ...) only by *Win32.cpp or *Win32.h, and libcurl only by
# *Curl.cpp; a platform's own header (FooWin32.h) only by that platform's files.
# So everything else builds on both systems.
#
#   scripts/check-layers.sh [SRC]     SRC: the source tree to check (default: src/)
set -euo pipefail
cd "${1:-$(dirname "$0")/../src}"
rank() {
  case "$1" in
    base) echo 0 ;; serial) echo 1 ;; device) echo 2 ;;
    config|firmware|discovery|webupdate) echo 3 ;;
    widgets|production) echo 4 ;; ui) echo 5 ;; cli|app) echo 6 ;;
    *) echo 9 ;;
  esac
}
# The one subsystem's window (FILE) that may include another's (HEADER), and why
# (docs/architecture.md says more).
ui_across=(
  "config/ui/ConfigPage.cpp discovery/ui/ScanDialog.h"        # Search opens the scan
  "discovery/ui/DeviceListCtrl.cpp config/ui/DefinitionText.h"  # texts of the files
  "discovery/ui/ScanDialog.cpp config/ui/DefinitionText.h"      # texts of the files
  "firmware/ui/FirmwarePage.cpp discovery/ui/DeviceListCtrl.h"  # the remote list
  "firmware/ui/FirmwarePage.cpp webupdate/ui/WebUpdate.h"       # Download from server
)
allowed_across() {
  local pair
  for pair in "${ui_across[@]}"; do [ "$pair" = "$1 $2" ] && return 0; done
  return 1
}
status=0
while IFS= read -r -d '' file; do
  dir=$(dirname "$file"); layer=${dir%%/*}
  [[ "$dir" == */ui ]] && layer=ui
  own=$(rank "$layer")
  qt_allowed=0
  [[ "$layer" == ui || "$layer" == widgets || "$layer" == app ]] && qt_allowed=1
  while IFS= read -r inc; do
    if [[ "$inc" != */* ]]; then
      echo "$file includes \"$inc\" without its folder"; status=1; continue
    fi
    target=${inc%%/*}
    if [[ "$inc" == */ui/* ]]; then
      target=ui
      if [[ "$layer" == ui && "${inc%%/*}" != "${dir%%/*}" ]] && ! allowed_across "$file" "$inc"; then
        echo "$file includes $inc, another subsystem's window"; status=1
      fi
    fi
    for platform in Posix Win32 Curl; do
      if [[ "$inc" == *"$platform".h && "$file" != *"$platform".cpp && "$file" != *"$platform".h ]]; then
        echo "$file includes $inc, which only a $platform file may"; status=1
      fi
    done
    other=$(rank "$target")
    [ "$other" -eq 9 ] && continue
    # Subsystems of one layer do not include each other (config does not know
    # firmware, the production line knows no Qt kit).
    if [ "$other" -gt "$own" ] || { [ "$other" -eq "$own" ] && [ "$own" -ge 3 ] && [ "$own" -le 4 ] && [ "$target" != "$layer" ]; }; then
      echo "$file includes $inc"; status=1
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
  # The system's own headers, by the platform they belong to.
  while IFS= read -r inc; do
    if [[ $qt_allowed -eq 0 && "$inc" =~ ^Q[A-Za-z]*(/|$) || $qt_allowed -eq 0 && "$inc" =~ ^Qt ]]; then
      echo "$file includes <$inc>: the Qt kit belongs to the windows, src/widgets and src/app"
      status=1
      continue
    fi
    platform=""
    case "$inc" in
      unistd.h|termios.h|fcntl.h|pwd.h|grp.h|dirent.h|poll.h|signal.h|pthread.h|pty.h|\
      dlfcn.h|netdb.h|spawn.h|semaphore.h|libgen.h|syslog.h|strings.h|sched.h|utmp.h|\
      sys/*|arpa/*|netinet/*|linux/*) platform=Posix ;;
      windows.h|win*.h|Win*.h|setupapi.h|cfgmgr32.h|devguid.h|initguid.h|shlobj.h|\
      knownfolders.h|objbase.h|shellapi.h|timeapi.h|mmsystem.h|io.h|process.h|direct.h|\
      conio.h|tchar.h|ntddser.h) platform=Win32 ;;
      curl/*) platform=Curl ;;
    esac
    [ -z "$platform" ] && continue
    if [[ "$file" != *"$platform".cpp && "$file" != *"$platform".h ]]; then
      echo "$file includes <$inc>, which only a $platform file (*$platform.cpp, *$platform.h) may"; status=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<\([^>]*\)>.*/\1/p' "$file")
done < <(find . -name '*.h' -print0 -o -name '*.cpp' -print0 | sed -z 's|^\./||')
if [ $status -eq 0 ]; then
  echo "layers: no include goes up or across, every include names its folder, the Qt kit stays in the windows, and every system header stays in its platform's files"
fi
exit $status
