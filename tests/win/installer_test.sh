#!/usr/bin/env bash
# The setup program under Wine, silently, as an administrator would deploy it:
# install into a staged Zebrix folder, start the server and log in, upgrade it
# while it runs (the identity stays, the server runs again), then uninstall,
# keeping the settings and, when asked, removing them.
#   installer_test.sh WIN_BUILD LINUX_CLIENT VERSION
set -euo pipefail
win_build=$(cd "$1" && pwd)
client=$2
version=$3
stage=$win_build/stage
setup=$win_build/dist/ZebrixServer-$version-setup.exe
wine_run=$stage/bin/wine-run
[ -f "$setup" ] || { echo "FAIL: $setup is missing (make dist-win)"; exit 1; }

# A prefix of its own: the test starts a server, and a prefix is one machine.
export ZEBRIX_WINEPREFIX=$win_build/wineprefix-installer
work=$(mktemp -d /tmp/zs-installer.XXXXXX)
cleanup() {
    # Ends every program of the prefix, the server the setup restarted too.
    WINEPREFIX=$ZEBRIX_WINEPREFIX wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
free_port() { python3 -c 'import socket,sys; s=socket.socket(socket.AF_INET, getattr(socket,sys.argv[1])); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])' "$1"; }
export ZEBRIX_TCP_PORT=$(free_port SOCK_STREAM) ZEBRIX_UDP_PORT=$(free_port SOCK_DGRAM)

# The Zebrix folder as a user has it: the programs, no ZebHelper yet.
zebrix=$work/Zebrix
mkdir -p "$zebrix"
cp "$stage/Zebrix/zebw.exe" "$stage/Zebrix/zebw3.exe" "$zebrix/"
cp -r "$stage/Zebrix/ZebMini" "$zebrix/"
helper=$zebrix/ZebHelper
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }

fail() { echo "FAIL: $*"; ls -la "$helper" 2>/dev/null; exit 1; }
logs_in() {
    for _ in $(seq 150); do
        "$client" --port "$ZEBRIX_TCP_PORT" info >/dev/null 2>&1 && return 0
        sleep 0.2
    done
    return 1
}
uuid() { tr -d '\r' < "$helper/config.txt" | sed -n 's/^UUID=//p'; }
wait_gone() { # the uninstaller runs from a copy of itself and returns at once
    for _ in $(seq 100); do [ -e "$1" ] || return 0; sleep 0.2; done
    return 1
}

echo "install"
"$wine_run" "$setup" /S /NOAUTOSTART "/D=$(winpath "$zebrix")"
[ -f "$helper/ZebrixServer.exe" ] || fail "ZebHelper\\ZebrixServer.exe was not installed"
[ -f "$helper/Uninstall.exe" ] || fail "no uninstaller"

echo "start and log in"
( cd "$helper" && exec "$wine_run" ZebrixServer.exe </dev/null >"$work/server1.log" 2>&1 ) &
logs_in || fail "no protocol-1 login on port $ZEBRIX_TCP_PORT"
first=$(uuid)
[ -n "$first" ] || fail "config.txt has no identity"

echo "upgrade while it runs"
"$wine_run" "$setup" /S /NOAUTOSTART "/D=$(winpath "$zebrix")"
logs_in || fail "the server did not run again after the upgrade"
[ "$(uuid)" = "$first" ] || fail "identity changed: $first -> $(uuid)"

echo "uninstall, keeping the settings"
"$wine_run" "$helper/Uninstall.exe" /S
wait_gone "$helper/Uninstall.exe" || fail "uninstaller did not finish"
wait_gone "$helper/ZebrixServer.exe" || fail "program left behind"
left=$(cd "$helper" && ls | grep -v -E '^(config\.txt|OrvantaPath\.txt|ZebrixServer\.log(\.1)?|ZebrixServer\.lock)$' || true)
[ -z "$left" ] || fail "left besides the settings: $left"
[ "$(uuid)" = "$first" ] || fail "settings not kept"

echo "reinstall, uninstall removing the settings"
"$wine_run" "$setup" /S /NOAUTOSTART /NOSTART "/D=$(winpath "$zebrix")"
[ "$(uuid)" = "$first" ] || fail "reinstall lost the identity"
"$wine_run" "$helper/Uninstall.exe" /S /REMOVECONFIG
wait_gone "$helper" || fail "ZebHelper left: $(ls "$helper")"
echo "PASS: installed, logged in, upgraded with identity $first kept, uninstalled"
