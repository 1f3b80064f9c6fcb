#!/usr/bin/env bash
# Installs the build into a temporary prefix and looks at it as a desktop
# would: the files in their places, the desktop entry and the metainfo file
# validated, and the installed programs keeping their catalogue in the user's
# data folder.
#
#   install_test.sh CMAKE BUILD_DIR APP_ID
set -euo pipefail
cmake=$1 build=$2 id=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
fail() { echo "FEHLER: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
for f in bin/qv-tessarin bin/qvdb share/man/man1/qvdb.1.gz \
         share/icons/hicolor/scalable/apps/$id.svg; do
    [ -f "$prefix/$f" ] || fail "$f fehlt"
done
[ -x "$prefix/bin/qv-tessarin" ] && [ -x "$prefix/bin/qvdb" ] || fail "Programme nicht ausführbar"

# Each icon is a PNG of its folder's size (width and height from the header).
for size in 16 22 24 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
    [ -f "$png" ] || fail "Symbol ${size}x${size} fehlt"
    [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
        fail "Symbol ${size}x${size} ist kein PNG"
    dims=$(od -An -j16 -N8 -tu1 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
    [ "$dims" = "${size}x${size}" ] || fail "Symbol ${size}x${size} ist $dims groß"
done

desktop-file-validate "$desktop"
appstreamcli validate --no-net "$metainfo" >/dev/null ||
    { appstreamcli validate --no-net "$metainfo"; fail "Metainfo ungültig"; }

# The entry starts the installed program with the installed icon.
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ -x "$prefix/bin/${exec_line%% *}" ] || fail "Exec=$exec_line ist nicht installiert"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$prefix/share/icons/hicolor/48x48/apps/$icon.png" ] || fail "Icon=$icon ist nicht installiert"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "Metainfo nennt den Desktop-Eintrag nicht"

# The installed programs keep the catalogue in the user's data folder, which
# the first start creates; nothing lands beside them.
export XDG_DATA_HOME=$tmp/home/data HOME=$tmp/home
mkdir -m 0700 "$tmp/runtime"
export XDG_RUNTIME_DIR=$tmp/runtime
data=$XDG_DATA_HOME/qv-tessarin
"$prefix/bin/qvdb" init >/dev/null
[ -f "$data/_qvdisk.dbf" ] && [ -f "$data/_verleih.nsx" ] || fail "qvdb init legt den Katalog nicht in $data an"
"$prefix/bin/qvdb" check >/dev/null || fail "qvdb check ohne Verzeichnis"
rm -rf "$data"

QT_QPA_PLATFORM=offscreen "$prefix/bin/qv-tessarin" &
pid=$!
for _ in $(seq 100); do
    [ -f "$data/_verleih.nsx" ] && break
    sleep 0.1
done
sleep 0.3
kill "$pid" 2>/dev/null || fail "qv-tessarin endete vorzeitig"
wait "$pid" || true
for f in _qvdisk.ini _qvdisk.dbf _qvdir.dbf _endung.dbf _katego.dbf _diskart.dbf _verleih.dbf; do
    [ -f "$data/$f" ] || fail "qv-tessarin legt $f nicht in $data an"
done
[ "$(ls "$prefix/bin")" = "$(printf 'qv-tessarin\nqvdb')" ] || fail "Dateien neben den Programmen"

# A copy outside an installation layout keeps its catalogue beside itself.
mkdir "$tmp/unpacked"
cp "$prefix/bin/qvdb" "$tmp/unpacked/"
"$tmp/unpacked/qvdb" init >/dev/null
[ -f "$tmp/unpacked/_qvdisk.dbf" ] || fail "ausgepackter qvdb legt den Katalog nicht neben sich an"
echo "Installation in $prefix geprüft"
