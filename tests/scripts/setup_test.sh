#!/usr/bin/env bash
# The README's commands on a machine where packages are missing, with the
# package and build tools replaced by stubs on PATH that record their calls:
# scripts/setup.sh as root (no sudo on the machine) and as a user with sudo,
# and scripts/run-examples.sh, which builds only the program.
#
#   setup_test.sh SOURCE-DIR
set -uo pipefail
src=$(cd "${1:?usage: setup_test.sh SOURCE-DIR}" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

stubs=$tmp/stubs
mkdir -p "$stubs"
# Installed packages are listed in $STUB_INSTALLED, one a line.
cat > "$stubs/dpkg-query" <<'STUB'
#!/bin/bash
pkg=${!#}
if grep -qxF -- "$pkg" "$STUB_INSTALLED"; then echo -n 'install ok installed'; exit 0; fi
echo "dpkg-query: no packages found matching $pkg" >&2
exit 1
STUB
cat > "$stubs/apt-get" <<'STUB'
#!/bin/bash
echo "apt-get DEBIAN_FRONTEND=${DEBIAN_FRONTEND:-} $*" >> "$STUB_LOG"
STUB
# sudo as the real one behaves: -E keeps the environment, otherwise it is
# reset. With STUB_NO_SUDO the machine has no sudo at all.
cat > "$stubs/sudo" <<'STUB'
#!/bin/bash
echo "sudo $*" >> "$STUB_LOG"
if [ -n "${STUB_NO_SUDO:-}" ]; then echo "sudo: command not found" >&2; exit 127; fi
if [ "$1" = -E ]; then shift; exec "$@"; fi
exec env -i PATH="$PATH" STUB_LOG="$STUB_LOG" "$@"
STUB
cat > "$stubs/id" <<'STUB'
#!/bin/bash
if [ "$*" = -u ]; then echo "$STUB_UID"; exit 0; fi
exec /usr/bin/id "$@"
STUB
cat > "$stubs/cmake" <<'STUB'
#!/bin/bash
echo "cmake $*" >> "$STUB_LOG"
STUB
chmod +x "$stubs"/*

mapfile -t wanted < <(grep -vE '^\s*(#|$)' "$src/scripts/packages.txt")
[ ${#wanted[@]} -ge 4 ] || fail "scripts/packages.txt lists fewer than 4 packages"
# The fonts every script and the Office faces print with; never the colour
# emoji font, whose emoji print blank.
for font in fonts-crosextra-carlito fonts-crosextra-caladea fonts-liberation2 fonts-noto-core \
  fonts-noto-cjk fonts-symbola; do
  printf '%s\n' "${wanted[@]}" | grep -qx "$font" || fail "scripts/packages.txt lacks $font"
done
printf '%s\n' "${wanted[@]}" | grep -qx fonts-noto-color-emoji &&
  fail "scripts/packages.txt lists fonts-noto-color-emoji"
# Every second package is installed; the others are missing.
installed=$tmp/installed
: > "$installed"
expected_missing=()
for i in "${!wanted[@]}"; do
  if [ $((i % 2)) -eq 0 ]; then expected_missing+=("${wanted[$i]}"); else echo "${wanted[$i]}" >> "$installed"; fi
done

# run_setup NAME UID NO_SUDO SCRIPT ARGS...: runs SCRIPT with the stubs;
# leaves the call log in $tmp/NAME.log and the exit code in $code.
run_setup() {
  local name=$1 uid=$2 no_sudo=$3 script=$4
  shift 4
  : > "$tmp/$name.log"
  env -u DEBIAN_FRONTEND PATH="$stubs:/usr/bin:/bin" STUB_LOG="$tmp/$name.log" STUB_INSTALLED="$installed" \
    STUB_UID="$uid" STUB_NO_SUDO="$no_sudo" TABRIX_BUILD_DIR="$tmp/build" \
    "$script" "$@" > "$tmp/$name.out" 2>&1
  code=$?
}

# check_install NAME PREFIX: both apt-get calls ran as "PREFIX apt-get",
# saw the non-interactive front end, and the install named exactly the
# missing packages.
check_install() {
  local name=$1 prefix=$2 log=$tmp/$1.log
  local want_install="apt-get DEBIAN_FRONTEND=noninteractive install -y -qq --no-install-recommends ${expected_missing[*]}"
  grep -qxF "apt-get DEBIAN_FRONTEND=noninteractive update -qq" "$log" ||
    fail "$name: no non-interactive apt-get update: $(cat "$log")"
  grep -qxF "$want_install" "$log" ||
    fail "$name: the install did not name exactly the missing packages non-interactively: $(cat "$log")"
  [ "$(grep -c '^apt-get ' "$log")" -eq 2 ] || fail "$name: apt-get should run twice: $(cat "$log")"
  if [ -n "$prefix" ]; then
    [ "$(grep -cxE "$prefix apt-get (update|install) .*" "$log")" -eq 2 ] ||
      fail "$name: apt-get did not run through '$prefix': $(cat "$log")"
  else
    ! grep -q '^sudo' "$log" || fail "$name: sudo was used as root: $(cat "$log")"
  fi
}

# As root on a machine without sudo (a container, CI).
run_setup root 0 1 "$src/scripts/setup.sh"
[ "$code" -eq 0 ] || fail "root: setup.sh exited $code: $(cat "$tmp/root.out")"
check_install root ""
grep -qxF "cmake --build $tmp/build -j$(nproc)" "$tmp/root.log" ||
  fail "root: setup.sh without --target did not build everything: $(cat "$tmp/root.log")"

# As a user who may use sudo.
run_setup user 1000 "" "$src/scripts/setup.sh"
[ "$code" -eq 0 ] || fail "user: setup.sh exited $code: $(cat "$tmp/user.out")"
check_install user "sudo -E"

# Nothing missing: no package tool, no sudo.
cp "$installed" "$tmp/installed.part"
printf '%s\n' "${wanted[@]}" > "$installed"
run_setup complete 1000 "" "$src/scripts/setup.sh"
[ "$code" -eq 0 ] || fail "complete: setup.sh exited $code: $(cat "$tmp/complete.out")"
! grep -qE '^(sudo|apt-get)' "$tmp/complete.log" || fail "complete: a package tool ran: $(cat "$tmp/complete.log")"
cp "$tmp/installed.part" "$installed"

# A --target without a name is refused before anything runs.
run_setup badtarget 0 1 "$src/scripts/setup.sh" --target
[ "$code" -eq 2 ] || fail "badtarget: setup.sh --target exited $code"
[ ! -s "$tmp/badtarget.log" ] || fail "badtarget: something ran: $(cat "$tmp/badtarget.log")"

# README command 1: installs, builds only the program, runs it on examples/.
mkdir -p "$tmp/build/bin"
cat > "$tmp/build/bin/tabrix" <<'STUB'
#!/bin/bash
log=${1##*LogFile=}
echo "Success => example => pdf" > "$log"
echo "tabrix $*" >> "$STUB_LOG"
STUB
chmod +x "$tmp/build/bin/tabrix"
run_setup examples 0 1 "$src/scripts/run-examples.sh" "$tmp/out"
[ "$code" -eq 0 ] || fail "examples: run-examples.sh exited $code: $(cat "$tmp/examples.out")"
check_install examples ""
grep -qxF "cmake --build $tmp/build -j$(nproc) --target tabrix" "$tmp/examples.log" ||
  fail "examples: run-examples.sh did not build only the tabrix target: $(cat "$tmp/examples.log")"
grep -q "^tabrix /P:PureConsole=True;.*Source=$src/examples/\*\.xls?;Target=$tmp/out;LogFile=$tmp/out/run.log" \
  "$tmp/examples.log" || fail "examples: the program was not run unattended on examples/: $(cat "$tmp/examples.log")"
grep -qF "Success => example" "$tmp/examples.out" || fail "examples: the run log was not printed"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "setup_test: all checks passed"
