#!/usr/bin/env bash
# Installs a build tree into a scratch prefix and checks that every file the
# install rules promise is there, that the pictures are the ones the build
# painted, and that the installed programs start.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

failures=0
need() {
  if [[ ! -e $prefix/$1 ]]; then
    echo "FAIL: $1 was not installed" >&2
    failures=$((failures + 1))
  fi
}
need bin/dravik
need bin/dravik-cli
need share/applications/dravik.desktop
need share/icons/hicolor/256x256/apps/dravik.png
need share/dravik/images/logo.png

# Every picture the build painted, unchanged; nothing else beside them.
painted=$(cd "$build/gui/images" && find . -type f \( -name '*.bmp' -o -name '*.png' \) | sort)
installed=$(cd "$prefix/share/dravik/images" && find . -type f | sort)
if [[ $painted != "$installed" ]]; then
  echo "FAIL: the installed pictures differ from the painted ones" >&2
  diff <(echo "$painted") <(echo "$installed") >&2 || true
  failures=$((failures + 1))
fi
for f in $painted; do
  cmp -s "$build/gui/images/$f" "$prefix/share/dravik/images/$f" ||
    { echo "FAIL: $f differs from the build's" >&2; failures=$((failures + 1)); }
done
cmp -s "$build/gui/images/logo.png" "$prefix/share/icons/hicolor/256x256/apps/dravik.png" ||
  { echo "FAIL: the icon is not the painted logo" >&2; failures=$((failures + 1)); }

desktop=$prefix/share/applications/dravik.desktop
for line in 'Name=Dravik' 'Exec=dravik' 'Icon=dravik' 'Categories=System;Utility;' 'Type=Application'; do
  grep -qxF "$line" "$desktop" || { echo "FAIL: dravik.desktop lacks $line" >&2; failures=$((failures + 1)); }
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || failures=$((failures + 1))
fi

# The installed programs run from the prefix.
"$prefix/bin/dravik-cli" --version >/dev/null || { echo "FAIL: dravik-cli --version" >&2; failures=$((failures + 1)); }
QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 "$prefix/bin/dravik" --version >/dev/null ||
  { echo "FAIL: dravik --version" >&2; failures=$((failures + 1)); }

((failures == 0)) && echo "PASS: installed into $prefix"
exit $((failures > 0))
