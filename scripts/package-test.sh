#!/usr/bin/env bash
# CI, as root: builds the Debian package, installs it with apt as a user would,
# runs the installed programs from /usr/bin, and removes the package again with
# whatever it brought along, so that the machine is left as it was (also when a
# check fails).
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
passed=0
failed=0

check() {  # check NAME COMMAND...: runs COMMAND, counts and reports its outcome
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $name"
  fi
}

echo "== the Debian package"
scripts/package.sh
debs=(build-pkg/zendra-manager_*.deb)
[ ${#debs[@]} -eq 1 ] || { echo "expected one package, found: ${debs[*]}"; exit 1; }
deb=${debs[0]}
echo "$deb: $(du -h "$deb" | cut -f1)"

export DEBIAN_FRONTEND=noninteractive
if dpkg-query -W -f='${Status}' zendra-manager 2>/dev/null | grep -q "install ok installed"; then
  echo "zendra-manager was installed before this run (left over?): removing it first"
  apt-get remove -y -qq zendra-manager >/dev/null
fi
installed_before=$(dpkg-query -W -f='${Package}\n' | sort)

restore() {
  apt-get remove -y -qq zendra-manager >/dev/null 2>&1 || true
  # What the package's dependencies brought in goes too.
  local brought
  brought=$(comm -13 <(echo "$installed_before") <(dpkg-query -W -f='${Package}\n' | sort))
  if [ -n "$brought" ]; then
    echo "removing what the package brought along: $brought"
    # shellcheck disable=SC2086
    apt-get remove -y -qq $brought >/dev/null
  fi
}
trap restore EXIT

apt-get install -y -qq "./$deb" >/dev/null

work=$(mktemp -d)
chmod 755 "$work"
trap 'rm -rf "$work"; restore' EXIT

in_bin() { [ "$(command -v "$1")" = "/usr/bin/$1" ]; }
check "zendra-cli is installed in /usr/bin" in_bin zendra-cli
check "zendra-manager is installed in /usr/bin" in_bin zendra-manager
files=$(dpkg -L zendra-manager)
has_file() { grep -qx "$1" <<<"$files"; }
check "the sample definition files are installed" \
  has_file /usr/share/zendra-manager/definitions/MA11_v1.10.0.zmcon
check "the desktop entry is installed" has_file /usr/share/applications/zendra-manager.desktop
check "the icon is installed" has_file /usr/share/icons/hicolor/64x64/apps/zendra-manager.png
check "the manual page is installed" has_file /usr/share/man/man1/zendra-cli.1.gz

# The installed command line against its simulated module, as the README shows it.
info_shows_product() {
  local out
  out=$(cd "$work" && /usr/bin/zendra-cli --simulate info) || return 1
  echo "$out"
  grep -qE '^Product Name *: MA11$' <<<"$out"
}
check "zendra-cli --simulate info names the product" info_shows_product

# Its parameters come from the installed definition folder, for an ordinary user too.
params_from_installed_folder() {
  local out
  out=$(cd "$work" && setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env \
        /usr/bin/zendra-cli --no --simulate params 2>"$work/params.err") || {
    cat "$work/params.err"; return 1; }
  grep -q "Node name" <<<"$out" && ! grep -q "Could not recognize" "$work/params.err"
}
check "zendra-cli --simulate params reads /usr/share/zendra-manager/definitions" \
  params_from_installed_folder

# The desktop program starts from the package with its simulated module and runs its
# window until it is stopped (timeout's 124), saying nothing wrong. (The pictures of
# the window are taken by zendra-screenshots, a tool of the build tree.)
window_runs() {
  local status=0
  (cd "$work" && QT_QPA_PLATFORM=offscreen timeout 10 /usr/bin/zendra-manager --simulate \
     2>"$work/manager.err") || status=$?
  cat "$work/manager.err"
  [ "$status" -eq 124 ] && ! grep -q "zendra-manager:" "$work/manager.err"
}
check "zendra-manager --simulate starts and runs its window" window_runs

rm -rf "$work"
trap - EXIT
restore
if dpkg-query -W -f='${Status}' zendra-manager 2>/dev/null | grep -q "install ok installed"; then
  echo "FAILED: zendra-manager is still installed"; failed=$((failed + 1))
else
  passed=$((passed + 1))
fi
check "nothing is left in /usr/bin" test ! -e /usr/bin/zendra-cli

echo "package test took $((SECONDS - started)) s"
echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
