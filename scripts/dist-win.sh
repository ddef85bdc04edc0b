#!/usr/bin/env bash
# `make dist-win`: the setup program and the portable archive from the
# Windows stage (build-win/stage).
#   scripts/dist-win.sh BUILD_WIN VERSION
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "$1" && pwd)
version=$2
stage=$build/stage
dist=$build/dist
for f in Zebrix/ZebHelper/ZebrixServer.exe bin/zebrix-client.exe bin/zebrix-desktop.exe; do
    [ -f "$stage/$f" ] || { echo "dist-win: $stage/$f is missing (make build-win first)" >&2; exit 1; }
done
rm -rf "$dist"
mkdir -p "$dist/text"

# What is shipped, without the debug information of the build (36 MB of the
# server's 38).
shipped=$dist/shipped
mkdir -p "$shipped/Zebrix/ZebHelper" "$shipped/bin"
for f in Zebrix/ZebHelper/ZebrixServer.exe bin/zebrix-client.exe bin/zebrix-desktop.exe; do
    x86_64-w64-mingw32-strip -o "$shipped/$f" "$stage/$f"
done

# The guides as Windows text files (CR LF), for Notepad.
to_text() { sed 's/\r*$/\r/' "$1" > "$2"; }
to_text docs/windows.md "$dist/text/windows.txt"
to_text docs/operating.md "$dist/text/operating.txt"
to_text docs/protocol.md "$dist/text/protocol.txt"
to_text README.md "$dist/text/README.txt"

setup=$dist/ZebrixServer-$version-setup.exe
makensis -V2 -WX -INPUTCHARSET UTF8 \
    "-DVERSION=$version" "-DSTAGE=$shipped" "-DGUIDE=$dist/text/windows.txt" "-DOUTFILE=$setup" \
    packaging/windows/installer.nsi
echo "dist-win: $setup"

# Portable: unpacked anywhere, ZebHelper/ZebrixServer.exe runs from there
# (its parent folder counts as the Zebrix folder).
top=ZebrixServer-$version-win64
mkdir -p "$dist/$top/ZebHelper" "$dist/$top/bin" "$dist/$top/docs"
cp "$shipped/Zebrix/ZebHelper/ZebrixServer.exe" "$dist/$top/ZebHelper/"
mkdir -p "$dist/$top/ZebHelper/outputs"
cp "$shipped/bin/zebrix-client.exe" "$shipped/bin/zebrix-desktop.exe" "$dist/$top/bin/"
cp "$dist/text/"*.txt "$dist/$top/docs/"
(cd "$dist" && rm -f "$top.zip" && zip -qr -X "$top.zip" "$top")
rm -rf "${dist:?}/$top" "$shipped"
echo "dist-win: $dist/$top.zip"
