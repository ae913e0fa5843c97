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
