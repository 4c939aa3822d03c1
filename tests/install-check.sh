#!/usr/bin/env bash
# Installs the build into a staging folder as a package would (prefix /usr) and checks the
# tree: programs, guide, launcher, icons, metadata, manual pages and the student service, and
# that the launcher, the metadata and the unit pass their own validators where installed.
# Usage: tests/install-check.sh BUILD_DIR VERSION
set -u
build=$1
version=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
failed=0
passed=0
check() { # description, command...
  local what=$1; shift
  if "$@" >"$stage/.out" 2>&1; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $what"
    sed 's/^/    /' "$stage/.out"
  fi
}

if ! DESTDIR="$stage" cmake --install "$build" --prefix /usr >"$stage/.install" 2>&1; then
  cat "$stage/.install"
  echo "0 passed, 1 failed"
  exit 1
fi
root=$stage/usr
app=org.velmora.Teacher

for file in bin/velmora-teacher bin/velmora-student-sim; do
  check "$file is an executable" test -x "$root/$file"
done
check "the guide is installed where the program looks" \
  grep -q "如何使用" "$root/share/velmora/readme.txt"
check "launcher" test -f "$root/share/applications/$app.desktop"
check "metadata" test -f "$root/share/metainfo/$app.metainfo.xml"
check "metadata carries the project version" \
  grep -q "release version=\"$version\"" "$root/share/metainfo/$app.metainfo.xml"
check "scalable icon" grep -q "<svg" "$root/share/icons/hicolor/scalable/apps/$app.svg"

# A PNG's width is the big-endian word at byte 16; each must sit in the folder of its size.
png_width() { od -An -tu1 -j16 -N4 "$1" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }'; }
for size in 16 22 24 32 48 64 128 256; do
  icon=$root/share/icons/hicolor/${size}x${size}/apps/$app.png
  check "icon $size" test "$(png_width "$icon" 2>/dev/null)" = "$size"
done

for page in velmora-teacher velmora-student-sim velmora-student; do
  man=$root/share/man/man1/$page.1.gz
  check "manual page $page" sh -c "gzip -dc '$man' | grep -q '^.TH' && ! gzip -dc '$man' | grep -q '@'"
done

check "--version prints the project version" \
  sh -c "'$root/bin/velmora-teacher' --version | grep -qx 'velmora-teacher $version'"
check "--help prints the options and opens nothing" \
  sh -c "env -u DISPLAY QT_QPA_PLATFORM=none '$root/bin/velmora-teacher' --help | grep -q -- '--version'"

if command -v desktop-file-validate >/dev/null; then
  check "desktop-file-validate" desktop-file-validate "$root/share/applications/$app.desktop"
else
  echo "desktop-file-validate not installed: launcher not validated"
fi
if command -v appstreamcli >/dev/null; then
  check "appstreamcli validate" appstreamcli validate --no-net "$root/share/metainfo/$app.metainfo.xml"
else
  echo "appstreamcli not installed: metadata not validated"
fi

unit=$stage/lib/systemd/system/velmora-student.service
check "the student service's unit" test -f "$unit"
check "the student settings' drop-in folder" test -d "$stage/etc/velmora/student.ini.d"
if command -v systemd-analyze >/dev/null; then
  # The unit as installed, its program taken from the staging folder.
  sed "s|/usr/bin/velmora-student|$root/bin/velmora-student|" "$unit" >"$stage/velmora-student.service"
  check "systemd-analyze verify" systemd-analyze verify --man=no "$stage/velmora-student.service"
else
  echo "systemd-analyze not installed: the student service's unit not verified"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
