#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# package.sh BUILD_DIR VERSION: installs into a staging folder and builds
# the Debian package, then checks what a desktop and a user will find.
set -euo pipefail
build=$1 version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package: $*"; exit 1; }

id=org.vantorel.Vantorel
expected=(
    usr/bin/vantorel
    usr/bin/vantorel-batch
    usr/bin/vantorel-tables
    usr/share/applications/$id.desktop
    usr/share/applications/$id.Tables.desktop
    usr/share/metainfo/$id.metainfo.xml
    usr/share/icons/hicolor/scalable/apps/$id.svg
    usr/share/man/man1/vantorel.1.gz
    usr/share/man/man1/vantorel-batch.1.gz
    usr/share/man/man1/vantorel-tables.1.gz
    usr/share/doc/vantorel/copyright
    usr/share/doc/vantorel/changelog.gz
)
for size in 16 24 32 48 64 128 256; do
    expected+=(usr/share/icons/hicolor/${size}x${size}/apps/$id.png)
done

# cmake --install
DESTDIR="$work/stage" cmake --install "$build" --prefix /usr >/dev/null
for f in "${expected[@]}"; do
    [ -f "$work/stage/$f" ] || fail "cmake --install did not install $f"
done
for entry in $id $id.Tables; do
    desktop-file-validate "$work/stage/usr/share/applications/$entry.desktop" \
        || fail "desktop-file-validate $entry"
done
grep -qx 'Name=Эпидемическая тенденция' "$work/stage/usr/share/applications/$id.desktop" \
    || fail "the menu entry is not named «Эпидемическая тенденция»"
grep -qx 'Categories=Science;MedicalSoftware;' "$work/stage/usr/share/applications/$id.desktop" \
    || fail "categories"
appstreamcli validate --no-net "$work/stage/usr/share/metainfo/$id.metainfo.xml" >/dev/null \
    || { appstreamcli validate --no-net "$work/stage/usr/share/metainfo/$id.metainfo.xml"; fail "appstreamcli validate"; }
grep -q '<screenshot' "$work/stage/usr/share/metainfo/$id.metainfo.xml" || fail "no screenshot entry"
grep -q "<release version=\"$version\"" "$work/stage/usr/share/metainfo/$id.metainfo.xml" \
    || fail "metainfo does not name version $version"

# cpack -G DEB
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >/dev/null)
deb=$(ls "$work"/deb/*.deb)
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' >"$work/list"
for f in "${expected[@]}"; do
    grep -qx "$f" "$work/list" || fail "the package lacks $f"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6; do
    [[ "$depends" == *"$lib "* ]] || fail "Depends lacks $lib: $depends"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
command -v lintian >/dev/null || fail "lintian is not installed"
lintian --fail-on error "$deb" >"$work/lintian" 2>&1 \
    || { cat "$work/lintian"; fail "lintian finds errors"; }

# The packaged program tells the project's version.
dpkg-deb -x "$deb" "$work/root"
got=$("$work/root/usr/bin/vantorel-batch" --version)
[ "$got" = "vantorel-batch $version" ] || fail "installed vantorel-batch --version says «$got»"
got=$(DISPLAY= "$work/root/usr/bin/vantorel-tables" --version)
[ "$got" = "vantorel-tables $version" ] || fail "installed vantorel-tables --version says «$got»"
DISPLAY= "$work/root/usr/bin/vantorel-tables" --help | grep -q "^Использование: vantorel-tables" \
    || fail "installed vantorel-tables --help gives no usage"
echo "package: $(basename "$deb"): ${#expected[@]} files checked, Depends: $depends"
