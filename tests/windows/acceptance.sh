#!/bin/bash
# The acceptance set of the Windows program: zendra-cli.exe under wine64 against
# zendra-modsim (the Linux build's simulated module) on pseudo-terminals that the
# wine prefix maps as COM ports ($WINEPREFIX/dosdevices/comN -> /dev/pts/N).
# Every case checks what the simulated module received (its log, one JSON object
# per received line), not only the program's exit status and output.
#
#   tests/windows/acceptance.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR [CASE ...]
#
# WINDOWS_BUILD_DIR holds bin/zendra-cli.exe, LINUX_BUILD_DIR bin/zendra-modsim.
# With CASE names only those cases run (e.g. `info scan`). Needs wine (wine64),
# python3 (the loopback web server) and a writable /tmp. The prefix is made fresh
# in a temporary folder and removed at the end; WINE_KEEP=1 keeps it.

set -u

WIN_BUILD=${1:?usage: acceptance.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR [CASE ...]}
LINUX_BUILD=${2:?usage: acceptance.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR [CASE ...]}
shift 2
WANTED=("$@")

CLI=$(readlink -f "$WIN_BUILD/bin/zendra-cli.exe")
SIM=$(readlink -f "$LINUX_BUILD/bin/zendra-modsim")
[ -f "$CLI" ] || { echo "acceptance: no $WIN_BUILD/bin/zendra-cli.exe" >&2; exit 2; }
[ -x "$SIM" ] || { echo "acceptance: no $LINUX_BUILD/bin/zendra-modsim" >&2; exit 2; }
WINE=$(command -v wine64 || command -v wine || true)
[ -x /usr/lib/wine/wine64 ] && WINE=/usr/lib/wine/wine64
[ -n "$WINE" ] || { echo "acceptance: wine64 is not installed" >&2; exit 2; }

WORK=$(mktemp -d /tmp/zendra-acceptance.XXXXXX)
export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
SIM_PIDS=()
SERVER_PID=

cleanup() {
  for pid in "${SIM_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null
  # The prefix's own wine server (and the services it started) end with it.
  wineserver -k >/dev/null 2>&1
  [ "${WINE_KEEP:-0}" = 1 ] || rm -rf "$WORK"
}
trap cleanup EXIT

# A prefix of its own; its server stays up for the whole run (a start per program
# costs seconds) and writes nowhere near the test's output.
wineboot -i >"$WORK/wineboot.log" 2>&1 || { echo "acceptance: wineboot failed" >&2; cat "$WORK/wineboot.log" >&2; exit 2; }
wineserver -p >/dev/null 2>&1 </dev/null
# Wine maps its own COM ports onto /dev/ttyS*: only the tests' ports stay.
rm -f "$WINEPREFIX"/dosdevices/com*

PASSED=0
FAILED=0
FAILURES=()
CASE=
CASE_FAILED=0

fail() {
  echo "    FAIL: $*"
  CASE_FAILED=1
}

# start_module N NAME [modsim options...]: a module whose log is $WORK/NAME.log, on a
# pseudo-terminal mapped as COM N.
start_module() {
  local n=$1 name=$2
  shift 2
  rm -f "$WORK/$name.log" "$WORK/$name.port"
  "$SIM" --log "$WORK/$name.log" "$@" >"$WORK/$name.port" 2>"$WORK/$name.err" &
  SIM_PIDS+=($!)
  eval "PID_$name=$!"
  local i
  for i in $(seq 100); do
    [ -s "$WORK/$name.port" ] && break
    sleep 0.05
  done
  local pty
  pty=$(head -1 "$WORK/$name.port")
  [ -n "$pty" ] || { fail "the simulated module $name did not start: $(cat "$WORK/$name.err")"; return 1; }
  ln -sfn "$pty" "$WINEPREFIX/dosdevices/com$n"
}

stop_module() {
  local pid_var=PID_$1
  local pid=${!pid_var}
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}

# cli NAME ARGS...: runs zendra-cli.exe; its stdout, stderr (line ends made LF)
# and exit status land in $WORK/NAME.out, .err, .status.
cli() {
  local name=$1
  shift
  timeout 300 "$WINE" "$CLI" "$@" </dev/null >"$WORK/$name.out.raw" 2>"$WORK/$name.err.raw"
  echo $? >"$WORK/$name.status"
  tr -d '\r' <"$WORK/$name.out.raw" >"$WORK/$name.out"
  tr -d '\r' <"$WORK/$name.err.raw" >"$WORK/$name.err"
}

expect_status() {  # NAME STATUS
  local got
  got=$(cat "$WORK/$1.status")
  [ "$got" = "$2" ] || fail "$1: exit status $got, expected $2 (stderr: $(head -c 400 "$WORK/$1.err"))"
}

expect_output() {  # NAME out|err TEXT: a line holds TEXT
  grep -qF -- "$3" "$WORK/$1.$2" || fail "$1: no \"$3\" in its std$2: $(head -c 600 "$WORK/$1.$2")"
}

# The lines the module received, one per line, as its log writes them (JSON
# strings: "\r\n" stays as those four characters).
received() {  # LOG
  sed -n 's/^{"line":"\(.*\)"}$/\1/p' "$WORK/$1.log" 2>/dev/null
}

expect_received() {  # LOG LINE: the module received the command line LINE (CR LF or LF)
  received "$1" | grep -qxF -e "$2\\r\\n" -e "$2\\n" ||
    fail "module $1 did not receive \"$2\" (it received: $(received "$1" | tr '\n' ' ' | head -c 600))"
}

expect_not_received() {  # LOG TEXT: no received line holds TEXT
  ! received "$1" | grep -qF -- "$2" || fail "module $1 received \"$2\", which should not have been sent"
}

expect_log() {  # LOG TEXT: an entry of the log holds TEXT
  grep -qF -- "$2" "$WORK/$1.log" 2>/dev/null || fail "the log of module $1 holds no $2: $(head -c 600 "$WORK/$1.log" 2>/dev/null)"
}

log_lines() { [ -f "$WORK/$1.log" ] && wc -l <"$WORK/$1.log" || echo 0; }

# An image of the form the bootloader takes: the ebl header record, the model
# code and the version near the start, binary payload.
make_image() {  # PATH MODEL VERSION SIZE [noheader]
  python3 - "$@" <<'EOF'
import sys
path, model, version, size = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
magic = b"\x89ZFW" if len(sys.argv) > 5 else b"EBL\0"
head = magic + model.encode() + b"\0VERSION=" + version.encode() + b"\0"
body = bytes(((i * 29 + 7) & 0xFF) for i in range(size))
open(path, "wb").write(head + body[len(head):])
EOF
}

winpath() { echo "Z:$(echo "$1" | tr '/' '\\')"; }

# ---------------------------------------------------------------------------

case_ports() {
  start_module 5 ports || return
  start_module 12 ports12 || return
  # The system's serial map lists the ports wine maps by its own rule: the
  # registry's HKLM\Software\Wine\Ports, read when its services start.
  local n
  for n in 5 12; do
    "$WINE" reg add 'HKLM\Software\Wine\Ports' /v COM$n /d "$(readlink "$WINEPREFIX/dosdevices/com$n")" /f \
      </dev/null >/dev/null 2>&1
  done
  wineserver -k >/dev/null 2>&1
  wineserver -p >/dev/null 2>&1 </dev/null
  cli ports ports
  expect_status ports 0
  expect_output ports out COM5
  expect_output ports out COM12
  # Listing ports opens none of them.
  sleep 0.3
  [ "$(log_lines ports)" = 0 ] || fail "ports: the module received $(log_lines ports) lines"
  [ "$(log_lines ports12)" = 0 ] || fail "ports: the module on COM12 received $(log_lines ports12) lines"
  "$WINE" reg delete 'HKLM\Software\Wine\Ports' /f </dev/null >/dev/null 2>&1
  # The help names ports as Windows does.
  cli help --help
  expect_status help 0
  expect_output help out "COMn, such as COM3"
  ! grep -qF /dev/tty "$WORK/help.out" || fail "help: --port is described by a Linux device path"
  stop_module ports
  stop_module ports12
}

case_info() {
  start_module 5 info --baud 115200 --node-name "Kitchen node" || return
  cli info --port COM5 --baud 115200 info
  expect_status info 0
  expect_output info out MA11
  expect_output info out 000D6F0000A1B2C3
  expect_output info out "Kitchen node"
  expect_output info out v1.10.0
  expect_received info ATE0
  expect_received info AT+PRODUCTNAME
  expect_received info AT+LONGADDR
  expect_received info AT+NODENAME
  expect_received info AT+VERSION
  # A port of two digits, and the name in any case.
  start_module 11 info11 || return
  cli info11 --port com11 info
  expect_status info11 0
  expect_output info11 out MA11
  expect_received info11 AT+PRODUCTNAME
  stop_module info
  stop_module info11
}

case_line_settings() {
  # Wine sets a pseudo-terminal's speed and stop bits and reads them back; the
  # module paces its bytes by them. A pseudo-terminal has no parity and always 8
  # data bits, and the port refuses to open with settings the driver did not take.
  start_module 5 rate --baud 57600 || return
  cli rate --port COM5 --baud 57600 --stop-bits 2 at AT+VERSION
  expect_status rate 0
  expect_output rate out v1.10.0
  expect_received rate AT+VERSION
  cli rate7 --port COM5 --baud 57600 --data-bits 7 at AT+VERSION
  expect_status rate7 2
  expect_output rate7 err "COM5: the port does not take these line settings"
  cli rateeven --port COM5 --baud 57600 --parity even at AT+VERSION
  expect_status rateeven 2
  expect_output rateeven err "COM5: the port does not take these line settings"
  cli ratesoft --port COM5 --baud 57600 --flow software at AT+NODENAME
  expect_status ratesoft 0
  cli ratehard --port COM5 --baud 57600 --flow hardware at AT+PRODUCTNAME
  expect_status ratehard 0
  expect_received rate AT+NODENAME
  expect_received rate AT+PRODUCTNAME
  # The refused opens sent nothing: four lines came, from the three that opened.
  [ "$(received rate | grep -c 'AT+VERSION')" = 1 ] || fail "the refused opens reached the module"
  # A wrong rate garbles what the module hears, as on a real line.
  cli wrongrate --port COM5 --baud 9600 at AT+VERSION
  expect_status wrongrate 1
  stop_module rate
}

case_params() {
  start_module 5 params || return
  cli params --port COM5 params
  expect_status params 0
  expect_output params out "Node name"
  expect_output params out AT+NODENAME
  expect_received params AT+PRODUCTNAME
  expect_received params AT+VERSION
  cli paramsf --port COM5 params --filter channel
  expect_status paramsf 0
  expect_output paramsf out AT+CHANNEL
  ! grep -qF AT+NODENAME "$WORK/paramsf.out" || fail "params --filter channel listed the node name"
  stop_module params
}

case_get_set() {
  start_module 5 getset --error-command AT+CHANNEL || return
  cli set --port COM5 set "Node name=Barn door"
  expect_status set 0
  expect_received getset "AT+NODENAME=Barn door"
  cli get --port COM5 get "Node name"
  expect_status get 0
  expect_output get out "Barn door"
  # A value the module refuses: it was sent, and the program says so, exit 1.
  cli setbad --port COM5 set "Channel=15"
  expect_status setbad 1
  expect_output setbad err "ERROR: Could not save the configuration paramater."
  expect_output setbad err "The module refused AT+CHANNEL=15"
  expect_received getset "AT+CHANNEL=15"
  # A value its definition does not allow: refused before the write, exit 2.
  cli setrule --port COM5 set "Channel=40"
  expect_status setrule 2
  expect_output setrule err "Channel takes a whole decimal number from 11 to 26; 40 is out of that range."
  expect_not_received getset "AT+CHANNEL=40"
  # A name of no parameter: exit 2 before the write.
  cli setnone --port COM5 set "Colour=blue"
  expect_status setnone 2
  expect_not_received getset "Colour"
  stop_module getset
}

case_export_import() {
  start_module 5 transfer --set AT+CHANNEL=15 --node-name Before || return
  local file=$WORK/module.zgb
  cli export --port COM5 export "$(winpath "$file")" --no-progress
  expect_status export 0
  grep -q "Before" "$file" 2>/dev/null || fail "export: the file does not hold the node name ($(head -c 300 "$file" 2>/dev/null))"
  expect_received transfer AT+CHANNEL
  cli change --port COM5 set "Channel=22"
  expect_status change 0
  cli change2 --port COM5 set "Node name=After"
  expect_status change2 0
  cli import --port COM5 import "$(winpath "$file")" --no-progress
  expect_status import 0
  expect_received transfer AT+CHANNEL=15
  expect_received transfer AT+NODENAME=Before
  cli after --port COM5 get Channel
  expect_output after out 15
  stop_module transfer
}

# Names beyond the Windows code page (a Cyrillic file in a folder with Ü and Ω):
# the command line reaches the program as UTF-8 and the files are made and read
# under exactly these names.
case_names() {
  start_module 5 names --set AT+CHANNEL=17 --node-name Wide || return
  local dir="$WORK/Jürgen Ωmega" file trace
  mkdir -p "$dir"
  file="$dir/конфиг.zgb"
  trace="$dir/трасса.txt"
  cli namesexport --port COM5 --trace "$(winpath "$trace")" export "$(winpath "$file")" --no-progress
  expect_status namesexport 0
  [ -f "$file" ] || fail "names: export did not make $file ($(ls "$WORK" "$dir" 2>&1 | tr '\n' ' '))"
  grep -q "Wide" "$file" 2>/dev/null || fail "names: the exported file does not hold the node name"
  [ -s "$trace" ] || fail "names: no traffic log at $trace"
  cli nameschange --port COM5 set "Channel=23"
  expect_status nameschange 0
  cli namesimport --port COM5 import "$(winpath "$file")" --no-progress
  expect_status namesimport 0
  expect_received names AT+CHANNEL=17
  cli namesexists --port COM5 export "$(winpath "$file")" --no-progress
  expect_status namesexists 2
  expect_output namesexists err "конфиг.zgb already exists"
  stop_module names
}

case_update() {
  local image=$WORK/MA11_v1.11.0.ebl
  make_image "$image" MA11 v1.11.0 32768
  for mode in default fast; do
    local name=update$mode
    start_module 5 $name --baud 115200 --time-scale 0.2 || return
    local extra=()
    [ $mode = fast ] && extra=(--fast)
    cli $name --port COM5 --baud 115200 update "$(winpath "$image")" "${extra[@]}" --no-progress
    expect_status $name 0
    expect_output $name out v1.11.0
    expect_received $name AT+BOOTLOAD
    # The whole image came: 256 blocks of 128 bytes.
    expect_log $name '{"image":32768}'
    stop_module $name
  done
}

case_reload() {
  local image=$WORK/MA11_v1.11.0.ebl
  make_image "$image" MA11 v1.11.0 16384
  start_module 5 reload --damaged --baud 115200 --time-scale 0.2 || return
  cli reload --port COM5 --baud 115200 --yes reload "$(winpath "$image")" --no-progress
  expect_status reload 0
  expect_output reload out v1.11.0
  expect_log reload '{"image":16384}'
  # The menu choices of the bootloader: upload, then run.
  received reload | grep -qx '1' || received reload | grep -q '^1' || fail "reload: the module received no menu choice 1"
  stop_module reload
}

case_scan() {
  start_module 5 scan --baud 115200 --odd-names --scan-ms 200 || return
  cli scan --port COM5 --baud 115200 scan
  expect_status scan 0
  expect_output scan out "000D6F00000A0001"
  expect_output scan out "Kitchen node"
  expect_output scan out "OK lab"
  [ "$(grep -c 000D6F00000A000 "$WORK/scan.out")" = 5 ] || fail "scan: $(grep -c 000D6F00000A000 "$WORK/scan.out") of the 5 nodes listed"
  expect_received scan "at+ds"
  stop_module scan
}

case_busy() {
  # A scan that takes seconds holds the port; a second program is refused and
  # sends nothing.
  start_module 5 busy --scan-ms 4000 || return
  timeout 300 "$WINE" "$CLI" --port COM5 scan </dev/null >"$WORK/holder.out" 2>&1 &
  local holder=$!
  local i
  for i in $(seq 200); do
    received busy | grep -qF 'at+ds' && break
    sleep 0.05
  done
  local before
  before=$(log_lines busy)
  cli busy --port COM5 info
  expect_status busy 2
  expect_output busy err "COM5 is in use by another program."
  [ "$(log_lines busy)" = "$before" ] || fail "busy: the refused program sent $(($(log_lines busy) - before)) lines"
  wait $holder || fail "the program holding the port failed: $(head -c 300 "$WORK/holder.out")"
  # Once it is done, the port opens again.
  cli busyafter --port COM5 at AT
  expect_status busyafter 0
  stop_module busy
}

case_lost() {
  local image=$WORK/MA11_v1.11.0.ebl
  make_image "$image" MA11 v1.11.0 65536
  start_module 5 lost --baud 115200 --time-scale 0.2 --module-fault 1,vanish-after-block=40 || return
  local trace=$WORK/lost.trace
  cli lost --port COM5 --baud 115200 --trace "$(winpath "$trace")" update "$(winpath "$image")" --no-progress
  expect_status lost 1
  expect_output lost err "ERROR: The serial port was lost (the device was unplugged or its line closed)."
  expect_received lost AT+BOOTLOAD
  ! grep -qF '"image"' "$WORK/lost.log" || fail "lost: the module took a whole image"
  grep -q -- '-- line lost' "$trace" || fail "lost: the trace shows no lost line: $(tail -3 "$trace")"
  # At once: from the last block the module answered to the port's close, well
  # under the transfer's own time-outs (5 s for an answer).
  local ms
  ms=$(tr -d '\r' <"$trace" | awk '/TX block [0-9]+, 133 bytes, ACK/ { acked = $1 } / -- close/ { print int($1 - acked) }' | tail -1)
  [ -n "$ms" ] && [ "$ms" -lt 2000 ] || fail "lost: $ms ms from the last acknowledged block to the close"
  stop_module lost
}

case_download() {
  local root=$WORK/www
  local folder=$root/download/software/zendra_manager
  mkdir -p "$folder"
  printf 'VEXA\r\nMA11_v1.12.0.zmcon\r\nMB11_v3.1.zmcon\r\n' >"$folder/Configs"
  python3 -c "import sys; sys.stdout.write(''.join('[Group %d/Name %d]10;...<text>...;Command = AT+R%d;\n' % (i, i, i) for i in range(400)))" >"$folder/MA11_v1.12.0.zmcon"
  printf '[Node/Node name]String;...<name>...;Command = AT+NODENAME;\n' >"$folder/MB11_v3.1.zmcon"
  local port
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  python3 -m http.server "$port" --bind 127.0.0.1 --directory "$root" >"$WORK/server.log" 2>&1 &
  SERVER_PID=$!
  local i
  for i in $(seq 100); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
    sleep 0.05
  done
  local dest=$WORK/definitions
  cli download --update-server "127.0.0.1:$port" download-definitions --dest "$(winpath "$dest")" --no-progress
  expect_status download 0
  cmp -s "$folder/MA11_v1.12.0.zmcon" "$dest/MA11_v1.12.0.zmcon" || fail "download: MA11_v1.12.0.zmcon did not arrive whole"
  cmp -s "$folder/MB11_v3.1.zmcon" "$dest/MB11_v3.1.zmcon" || fail "download: MB11_v3.1.zmcon did not arrive whole"
  grep -q 'GET /download/software/zendra_manager/Configs' "$WORK/server.log" || fail "download: the server was not asked for the list"
  # A listed file the server does not have fails by name and leaves the others.
  printf 'VEXA\nMA11_v1.12.0.zmcon\nMissing.zmcon\n' >"$folder/Configs"
  cli download404 --update-server "127.0.0.1:$port" download-definitions --dest "$(winpath "$dest")" --no-progress
  expect_status download404 1
  expect_output download404 err "404"
  [ -f "$dest/Missing.zmcon" ] && fail "download: a file the server refused was left behind"
  # Nobody listening: the client's report, exit 1.
  kill "$SERVER_PID"
  wait "$SERVER_PID" 2>/dev/null
  SERVER_PID=
  cli downloadnone --update-server "127.0.0.1:$port" download-definitions --dest "$(winpath "$dest")" --no-progress
  expect_status downloadnone 1
  expect_output downloadnone err "Could not connect to web server!"
}

ALL=(ports info line_settings params get_set export_import names update reload scan busy lost download)
[ ${#WANTED[@]} -gt 0 ] || WANTED=("${ALL[@]}")
for CASE in "${WANTED[@]}"; do
  declare -F "case_$CASE" >/dev/null || { echo "acceptance: no case $CASE" >&2; exit 2; }
  CASE_FAILED=0
  started=$(date +%s)
  echo "  $CASE"
  "case_$CASE"
  rm -f "$WINEPREFIX"/dosdevices/com*
  if [ $CASE_FAILED = 0 ]; then
    PASSED=$((PASSED + 1))
    echo "    ok ($(($(date +%s) - started)) s)"
  else
    FAILED=$((FAILED + 1))
    FAILURES+=("$CASE")
  fi
done
echo "acceptance: $PASSED passed, $FAILED failed${FAILURES:+ (${FAILURES[*]})}"
[ $FAILED = 0 ]
