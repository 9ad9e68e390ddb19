#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the installed tree.
#   install_test.sh BUILD_DIR
set -euo pipefail
build="$1"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
fail() { echo "FAIL: $*"; exit 1; }
for f in bin/geminor bin/geminor-cli share/geminor/help.html share/geminor/end.wav \
         share/applications/org.geminor.Geminor.desktop share/metainfo/org.geminor.Geminor.metainfo.xml \
         share/mime/packages/geminor-session.xml share/icons/hicolor/scalable/apps/geminor.svg \
         share/icons/hicolor/48x48/apps/geminor.png share/icons/hicolor/256x256/apps/geminor.png \
         share/man/man1/geminor-cli.1 share/bash-completion/completions/geminor-cli; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
"$prefix/bin/geminor-cli" --version | grep -q '^geminor-cli ' || fail "geminor-cli --version"
# The picture decoder is a module the installed program must find.
mkdir "$prefix/empty"
"$prefix/bin/geminor-cli" -q -m similar "$prefix/empty" > /dev/null || fail "geminor-cli finds no picture decoder"
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$prefix/share/applications/org.geminor.Geminor.desktop" || fail "desktop file"
else
  echo "desktop-file-validate not installed: desktop file not validated"
fi
if command -v appstreamcli > /dev/null; then
  appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/org.geminor.Geminor.metainfo.xml" > /dev/null \
    || appstreamcli validate --no-net "$prefix/share/metainfo/org.geminor.Geminor.metainfo.xml" || fail "metainfo"
else
  echo "appstreamcli not installed: metainfo not validated"
fi
grep -q 'pattern="\*.gmr"' "$prefix/share/mime/packages/geminor-session.xml" || fail "MIME type"
if command -v man > /dev/null; then
  MANWIDTH=80 man -l "$prefix/share/man/man1/geminor-cli.1" > /dev/null 2>&1 || fail "manual page"
fi
echo "installed tree checked in $prefix"
