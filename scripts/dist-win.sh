#!/usr/bin/env bash
# `make dist-win`: the setup program and the portable archive from the
# Windows stage (build-win/stage), into BUILD_WIN/dist (or $DIST_DIR).
#   scripts/dist-win.sh BUILD_WIN VERSION
# With SIGN_PFX (a PKCS#12 file) and SIGN_PASS (its password) set, every
# program shipped is signed with Authenticode (scripts/sign-win.sh): the
# server, the setup and the uninstaller inside it, and the archive's tools.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$(cd "$1" && pwd)
version=$2
stage=$build/stage
dist=${DIST_DIR:-$build/dist}
for f in Zebrix/ZebHelper/ZebrixServer.exe bin/zebrix-client.exe bin/zebrix-desktop.exe; do
    [ -f "$stage/$f" ] || { echo "dist-win: $stage/$f is missing (make build-win first)" >&2; exit 1; }
done
sign=()
if [ -n "${SIGN_PFX:-}" ]; then
    [ -f "$SIGN_PFX" ] || { echo "dist-win: SIGN_PFX=$SIGN_PFX is not a file" >&2; exit 1; }
    SIGN_PFX=$(cd "$(dirname "$SIGN_PFX")" && pwd)/$(basename "$SIGN_PFX")
    export SIGN_PFX SIGN_PASS=${SIGN_PASS:-}
    sign=("-DSIGN=bash $root/scripts/sign-win.sh")
    echo "dist-win: signing with $SIGN_PFX"
else
    echo "dist-win: no SIGN_PFX given: the setup and the programs are UNSIGNED" \
        "(make dist-win SIGN_PFX=cert.pfx SIGN_PASS=... signs them)"
fi
rm -rf "$dist"
mkdir -p "$dist/text"

# What is shipped, without the debug information of the build (36 MB of the
# server's 38).
shipped=$dist/shipped
mkdir -p "$shipped/Zebrix/ZebHelper" "$shipped/bin"
for f in Zebrix/ZebHelper/ZebrixServer.exe bin/zebrix-client.exe bin/zebrix-desktop.exe; do
    x86_64-w64-mingw32-strip -o "$shipped/$f" "$stage/$f"
    [ ${#sign[@]} -eq 0 ] || bash scripts/sign-win.sh "$shipped/$f"
done

# The Windows guide as plain text for Notepad (CR LF, no Markdown marks).
python3 scripts/guide-text.py docs/windows.md "$dist/text/windows.txt"

setup=$dist/ZebrixServer-$version-setup.exe
makensis -V2 -WX -INPUTCHARSET UTF8 \
    "-DVERSION=$version" "-DSTAGE=$shipped" "-DGUIDE=$dist/text/windows.txt" "-DOUTFILE=$setup" \
    "${sign[@]}" packaging/windows/installer.nsi
echo "dist-win: $setup"

# Portable: unpacked anywhere, ZebHelper/ZebrixServer.exe runs from there
# (its parent folder counts as the Zebrix folder). Only what a Windows user
# needs: the programs and the Windows guide.
top=ZebrixServer-$version-win64
mkdir -p "$dist/$top/ZebHelper" "$dist/$top/bin"
cp "$shipped/Zebrix/ZebHelper/ZebrixServer.exe" "$dist/$top/ZebHelper/"
mkdir -p "$dist/$top/ZebHelper/outputs"
cp "$shipped/bin/zebrix-client.exe" "$shipped/bin/zebrix-desktop.exe" "$dist/$top/bin/"
cp "$dist/text/windows.txt" "$dist/$top/README.txt"
(cd "$dist" && rm -f "$top.zip" && zip -qr -X "$top.zip" "$top")
rm -rf "${dist:?}/$top" "$shipped"
echo "dist-win: $dist/$top.zip"
