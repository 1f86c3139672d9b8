#!/usr/bin/env bash
# Installs the build tree into a scratch DESTDIR and checks what a desktop user needs: the
# programs answer --version with the project's version, the desktop entry, icon, metainfo
# and manual pages are in place, and the desktop entry and the metainfo validate.
# Usage: install_test.sh BUILD_DIR VERSION
set -euo pipefail
build="$1"
version="$2"
dest="$(mktemp -d "${TMPDIR:-/tmp}/vandrel-install.XXXXXX")"
trap 'rm -rf "$dest"' EXIT
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"

DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
usr="$dest/usr"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

for program in vandrel-copy vandrel-copy-cli vlconvert; do
  [ -x "$usr/bin/$program" ] || { fail "bin/$program missing"; continue; }
  out="$("$usr/bin/$program" --version)" || fail "$program --version exited with $?"
  [ "$out" = "$program $version" ] || fail "$program --version printed '$out'"
done
for file in share/applications/org.vandrel.Copy.desktop \
            share/metainfo/org.vandrel.Copy.metainfo.xml \
            share/icons/hicolor/scalable/apps/org.vandrel.Copy.svg \
            share/icons/hicolor/48x48/apps/org.vandrel.Copy.png \
            share/man/man1/vandrel-copy-cli.1.gz \
            share/man/man1/vlconvert.1.gz; do
  [ -s "$usr/$file" ] || fail "$file missing"
done
page="$(zcat "$usr/share/man/man1/vandrel-copy-cli.1.gz")"
grep -q -e '-verify' <<<"$page" ||
  fail "the manual page of vandrel-copy-cli does not describe --verify"
entry="$usr/share/applications/org.vandrel.Copy.desktop"
report="$(desktop-file-validate "$entry" 2>&1)" || fail "desktop-file-validate rejected the entry"
if grep -v ': hint: ' <<<"$report" | grep -q .; then fail "desktop-file-validate: $report"; fi
appstreamcli validate --no-net "$usr/share/metainfo/org.vandrel.Copy.metainfo.xml" >/dev/null ||
  fail "appstreamcli rejected the metainfo"
exit "$failed"
