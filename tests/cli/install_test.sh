#!/usr/bin/env bash
# Installs the build into a DESTDIR and checks that every file is in its FHS
# place and passes its validator.
set -euo pipefail
build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
root=$dest/usr
fail=0
for f in bin/tabrix share/man/man1/tabrix.1 share/bash-completion/completions/tabrix \
         share/applications/tabrix.desktop share/icons/hicolor/scalable/apps/tabrix.svg \
         share/metainfo/example.tabrix_converter.Tabrix.metainfo.xml; do
  [ -e "$root/$f" ] || { echo "missing: /usr/$f"; fail=1; }
done
[ -x "$root/bin/tabrix" ] || { echo "not executable: /usr/bin/tabrix"; fail=1; }
desktop-file-validate "$root/share/applications/tabrix.desktop" || fail=1
appstreamcli validate --no-net --explain "$root/share/metainfo/example.tabrix_converter.Tabrix.metainfo.xml" || fail=1
# The man page renders without a warning and names the command line.
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/share/man/man1/tabrix.1" 2>&1 >/dev/null || true)
[ -z "$warnings" ] || { echo "man page: $warnings"; fail=1; }
LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$root/share/man/man1/tabrix.1" 2>/dev/null | grep -q "tabrix convert" ||
  { echo "man page does not render"; fail=1; }
# The completion loads and completes flags and values.
out=$(bash -c 'source "$1"; COMP_WORDS=(tabrix convert --ov); COMP_CWORD=2; _tabrix; echo "${COMPREPLY[*]}";
  COMP_WORDS=(tabrix convert --paper L); COMP_CWORD=3; _tabrix; echo "${COMPREPLY[*]}"' _ \
  "$root/share/bash-completion/completions/tabrix")
[ "$out" = $'--overwrite\nLetter Legal' ] || { echo "completion gave: $out"; fail=1; }
exit $fail
