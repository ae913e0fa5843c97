#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the layout, the desktop files, and that
# an installed program whose folder it may not write keeps its data in the user's data folder.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
fail() { echo "FAIL: $*"; exit 1; }

[ -L "$prefix/bin/turnex" ] || fail "no launcher on the PATH"
[ "$(readlink -f "$prefix/bin/turnex")" = "$(readlink -f "$prefix/lib/turnex/turnex")" ] || fail "launcher does not point at the program"
[ -x "$prefix/lib/turnex/turnex" ] || fail "no program"
[ -f "$prefix/lib/turnex/help/index.html" ] || fail "no help"
for lib in "$build"/bin/lib*.so; do
    [ -e "$lib" ] || continue
    [ -f "$prefix/lib/turnex/$(basename "$lib")" ] || fail "library $(basename "$lib") not installed beside the program"
done
desktop-file-validate "$prefix/share/applications/turnex.desktop" || fail "desktop file"
appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml >/dev/null || fail "metainfo"
[ -f "$prefix/share/icons/hicolor/scalable/apps/turnex.svg" ] || fail "icon"

# The licence: GPL 3 or later, in the help beside the about page, in the software-centre data and
# where Debian keeps a package's copyright.
grep -q "GNU GENERAL PUBLIC LICENSE" "$prefix/lib/turnex/help/LICENSE.txt" || fail "no licence text beside the help"
grep -q "Version 3, 29 June 2007" "$prefix/lib/turnex/help/LICENSE.txt" || fail "the licence text is not version 3"
grep -q 'href="LICENSE.txt"' "$prefix/lib/turnex/help/about.html" || fail "the about page does not lead to the licence"
grep -q "either version 3 of the" "$prefix/lib/turnex/help/about.html" || fail "the about page does not say version 3 or later"
grep -q "<project_license>GPL-3.0-or-later</project_license>" "$prefix"/share/metainfo/*.metainfo.xml || fail "metainfo licence"
grep -q "^License: GPL-3.0+" "$prefix/share/doc/turnex/copyright" || fail "no copyright file"

# The Debian package carries the same files and names the libraries the RAR library opens itself.
if command -v cpack >/dev/null && command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null; then
    package=$(mktemp -d)
    trap 'rm -rf "$prefix" "$package"' EXIT
    (cd "$build" && cpack -G DEB -B "$package" >/dev/null) || fail "cpack"
    deb=$(ls "$package"/*.deb)
    contents=$(dpkg-deb -c "$deb")
    grep -q "\./usr/share/doc/turnex/copyright$" <<<"$contents" || fail "the package has no copyright file"
    grep -q "/help/LICENSE.txt$" <<<"$contents" || fail "the package has no licence text"
    depends=$(dpkg-deb -f "$deb" Depends)
    for library in libarchive13 libunarr1 libb2-1; do
        case "$depends" in *"$library"*) ;; *) fail "the package does not depend on $library: $depends" ;; esac
    done
else
    echo "skipped the package check: cpack, dpkg-deb or dpkg-shlibdeps is missing"
fi

# A user who may not write the program's folder: the data files go to $XDG_DATA_HOME/turnex.
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    chmod -R a+rX "$prefix"
    data=$(mktemp -d)
    chmod 777 "$data"
    XDG_DATA_HOME="$data" HOME="$data" QT_QPA_PLATFORM=offscreen WINEPREFIX="$data/none" \
        timeout 5 setpriv --reuid=65534 --regid=65534 --clear-groups "$prefix/bin/turnex" >/dev/null 2>&1 || true
    [ -f "$data/turnex/turnex.dat" ] || { rm -rf "$data"; fail "turnex.dat not in the user's data folder"; }
    [ ! -e "$prefix/lib/turnex/turnex.dat" ] || { rm -rf "$data"; fail "turnex.dat written into the program's folder"; }
    rm -rf "$data"
else
    echo "skipped the unwritable-folder check: it needs root to run the program as another user"
fi
echo "install layout ok"
