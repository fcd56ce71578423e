#!/usr/bin/env bash
# The layer check on small source trees: each case a tree with one fault it must
# name (and fail on), beside trees it must let pass; then the project's own tree.
#   CheckLayersTest.sh CHECK_LAYERS_SCRIPT PROJECT_SRC
set -uo pipefail
check=$1
project_src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# tree NAME FILE CONTENT [FILE CONTENT ...]: a tree under $work/NAME.
tree() {
  local name=$1
  shift
  mkdir -p "$work/$name"
  while [ $# -ge 2 ]; do
    mkdir -p "$(dirname "$work/$name/$1")"
    printf '%s\n' "$2" > "$work/$name/$1"
    shift 2
  done
}

# expect_fail NAME PATTERN: the check fails on the tree and its report has PATTERN.
expect_fail() {
  local out
  if out=$(bash "$check" "$work/$1" 2>&1); then
    echo "FAIL: $1: the check passed"; failures=$((failures + 1)); return
  fi
  if ! grep -qF -- "$2" <<<"$out"; then
    echo "FAIL: $1: the report does not say \"$2\":"; echo "$out"; failures=$((failures + 1))
  fi
}

expect_pass() {
  local out
  if ! out=$(bash "$check" "$work/$1" 2>&1); then
    echo "FAIL: $1: the check failed:"; echo "$out"; failures=$((failures + 1))
  fi
}

# The platform files may include their own system's headers, and only those.
tree clean \
  serial/SerialPortPosix.cpp $'#include <termios.h>\n#include <sys/ioctl.h>\n#include "serial/SerialPort.h"' \
  serial/SerialPortWin32.cpp $'#include <windows.h>\n#include "serial/SerialPort.h"\n#include "serial/SerialLineWin32.h"' \
  serial/SerialLineWin32.h '#include <windows.h>' \
  webupdate/HttpClientCurl.cpp '#include <curl/curl.h>' \
  serial/SerialPort.h $'#include <string>\n#include <cstdio>\n#include <csignal>' \
  config/Reader.cpp $'#include <filesystem>\n#include "serial/SerialPort.h"'
expect_pass clean

tree posix_in_core config/Reader.cpp $'#include <string>\n#include <unistd.h>'
expect_fail posix_in_core "config/Reader.cpp includes <unistd.h>, which only a Posix file (*Posix.cpp, *Posix.h) may"
tree sys_header cli/Term.cpp '#include <sys/ioctl.h>'
expect_fail sys_header "cli/Term.cpp includes <sys/ioctl.h>"
# Inside a condition it is included all the same.
tree conditional firmware/Transfer.cpp $'#if defined(__linux__)\n#  include <sys/prctl.h>\n#endif'
expect_fail conditional "firmware/Transfer.cpp includes <sys/prctl.h>"
tree posix_in_header base/Folders.h '#include <pwd.h>'
expect_fail posix_in_header "base/Folders.h includes <pwd.h>"
tree windows_in_window config/ui/Page.cpp '#include <windows.h>'
expect_fail windows_in_window "config/ui/Page.cpp includes <windows.h>, which only a Win32 file (*Win32.cpp, *Win32.h) may"
tree winhttp webupdate/Download.cpp '#include <winhttp.h>'
expect_fail winhttp "webupdate/Download.cpp includes <winhttp.h>"
# Each system's headers stay in that system's files.
tree crossed serial/PortListWin32.cpp '#include <termios.h>'
expect_fail crossed "serial/PortListWin32.cpp includes <termios.h>, which only a Posix file"
tree crossed2 serial/PortListPosix.cpp '#include <setupapi.h>'
expect_fail crossed2 "serial/PortListPosix.cpp includes <setupapi.h>, which only a Win32 file"
tree curl webupdate/Check.cpp '#include <curl/curl.h>'
expect_fail curl "webupdate/Check.cpp includes <curl/curl.h>, which only a Curl file (*Curl.cpp, *Curl.h) may"
# A name that merely ends like a platform file's is no platform file.
tree suffix serial/PosixNotes.cpp '#include <unistd.h>'
expect_fail suffix "serial/PosixNotes.cpp includes <unistd.h>"
# A platform's own header stays with that platform's files.
tree private_header serial/SerialPort.cpp '#include "serial/SerialLineWin32.h"' serial/SerialLineWin32.h ''
expect_fail private_header "serial/SerialPort.cpp includes serial/SerialLineWin32.h, which only a Win32 file may"
tree private_crossed serial/PortListPosix.cpp '#include "serial/SerialLineWin32.h"' serial/SerialLineWin32.h ''
expect_fail private_crossed "serial/PortListPosix.cpp includes serial/SerialLineWin32.h"
# The layers themselves are still checked.
tree upward $'serial/Port.cpp' '#include "config/Thing.h"' config/Thing.h ''
expect_fail upward "serial/Port.cpp includes config/Thing.h"

# One subsystem's window reaches another's only where the check's list allows it.
tree ui_across firmware/ui/FirmwarePage.cpp '#include "config/ui/ConfigPage.h"' config/ui/ConfigPage.h ''
expect_fail ui_across "firmware/ui/FirmwarePage.cpp includes config/ui/ConfigPage.h, another subsystem's window"
tree ui_listed firmware/ui/FirmwarePage.cpp $'#include "discovery/ui/DeviceListCtrl.h"\n#include "firmware/ui/Other.h"\n#include <QWidget>' \
  discovery/ui/DeviceListCtrl.h '' firmware/ui/Other.h '' app/Shell.cpp '#include "config/ui/ConfigPage.h"' config/ui/ConfigPage.h ''
expect_pass ui_listed
# A listed pair allows that file only.
tree ui_other_file firmware/ui/Other.cpp '#include "discovery/ui/DeviceListCtrl.h"' discovery/ui/DeviceListCtrl.h ''
expect_fail ui_other_file "firmware/ui/Other.cpp includes discovery/ui/DeviceListCtrl.h, another subsystem's window"
# Every include of the project names its folder.
tree no_folder device/Connection.cpp '#include "Connection.h"'
expect_fail no_folder 'device/Connection.cpp includes "Connection.h" without its folder'
# The Qt kit stays out of the core.
tree qt_in_core config/Reader.cpp '#include <QString>'
expect_fail qt_in_core "config/Reader.cpp includes <QString>: the Qt kit belongs to the windows"
tree qt_module_in_core device/Link.h '#include <QtCore/QObject>'
expect_fail qt_module_in_core "device/Link.h includes <QtCore/QObject>"

# The project's own tree keeps both rules.
if ! out=$(bash "$check" "$project_src" 2>&1); then
  echo "FAIL: the project's sources:"; echo "$out"; failures=$((failures + 1))
fi

if [ $failures -ne 0 ]; then
  echo "$failures case(s) failed"
  exit 1
fi
echo "layer check: every case as expected"
