#!/usr/bin/env bash
# The setup program under Wine and Xvfb, as a user and an administrator use
# it: signed with a throw-away certificate; installed by clicking through its
# pages (each page checked for cut-off text and photographed) with a
# password, started from its last page; upgraded silently and through its
# pages while the server runs (the identity and the password stay, the
# server runs again, earlier choices hold); uninstalled through its pages
# keeping the settings, then silently removing them.
#
# Wine enforces neither permissions, nor elevation, nor a firewall: recording
# stand-ins for icacls.exe, netsh.exe and explorer.exe take the place of
# Wine's own in the test's prefix, and the exact command lines setup gave them
# are compared with what a real PC needs.
#   installer_test.sh WIN_BUILD LINUX_CLIENT VERSION
set -euo pipefail
if [ "${1:-}" != --inside-xvfb ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside-xvfb "$@"
fi
shift
root=$(cd "$(dirname "$0")/../.." && pwd)
win_build=$(cd "$1" && pwd)
client=$2
version=$3
stage=$win_build/stage
wine_run=$stage/bin/wine-run
helpers=$win_build/tests/win
for f in "$helpers/tool_stand_in.exe" "$helpers/setup_pages.exe" "$helpers/page_probe.dll"; do
    [ -f "$f" ] || { echo "FAIL: $f is missing (make build-win)"; exit 1; }
done

# A prefix of its own: the test starts servers, and a prefix is one machine.
export ZEBRIX_WINEPREFIX=$win_build/wineprefix-installer ZEBRIX_WINE_X=1
export WINEPREFIX=$ZEBRIX_WINEPREFIX
work=$(mktemp -d /tmp/zs-installer.XXXXXX)
cleanup() {
    # Ends every program of the prefix, the servers setup started too.
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
wineserver -k >/dev/null 2>&1 || true
free_port() { python3 -c 'import socket,sys; s=socket.socket(socket.AF_INET, getattr(socket,sys.argv[1])); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])' "$1"; }
export ZEBRIX_TCP_PORT=$(free_port SOCK_STREAM) ZEBRIX_UDP_PORT=$(free_port SOCK_DGRAM)
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }
fail() { echo "FAIL: $*"; ls -la "$helper" 2>/dev/null || true; exit 1; }

echo "sign with a throw-away certificate"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Zebrix Server test signer" \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" \
    -passout pass:test-pass
DIST_DIR=$work/dist SIGN_PFX=$work/cert.pfx SIGN_PASS=test-pass \
    bash "$root/scripts/dist-win.sh" "$win_build" "$version" >"$work/dist.log" 2>&1 ||
    { cat "$work/dist.log"; fail "signed dist-win failed"; }
grep -q UNSIGNED "$work/dist.log" && fail "a signed build says UNSIGNED"
setup=$work/dist/ZebrixServer-$version-setup.exe
signed() { # FILE...: every one carries a valid signature by the test certificate
    for f in "$@"; do
        osslsigncode verify -CAfile "$work/cert.pem" -in "$f" >"$work/verify.log" 2>&1 ||
            { cat "$work/verify.log"; fail "no valid signature on $f"; }
    done
}
signed "$setup"
(cd "$work" && unzip -q "dist/ZebrixServer-$version-win64.zip")
portable=$work/ZebrixServer-$version-win64
signed "$portable/ZebHelper/ZebrixServer.exe" "$portable/bin/zebrix-client.exe" "$portable/bin/zebrix-desktop.exe"
# The archive holds the Windows guide as Notepad text, and none of the Linux guides.
[ "$(cd "$portable" && find . -name '*.txt' -o -name '*.md' | sort | tr '\n' ' ')" = "./README.txt " ] ||
    fail "the archive's guides: $(cd "$portable" && find . -name '*.txt' -o -name '*.md')"
grep -q $'^Installing\r$' "$portable/README.txt" || fail "README.txt is not CR LF text with plain headings"
! grep -q -e '\*\*' -e '^#' -e '^|' "$portable/README.txt" || fail "README.txt has Markdown marks"

# The stand-ins, where setup calls the tools ($SYSDIR, $WINDIR), chosen over
# Wine's built-in programs of the same name.
"$wine_run" cmd /c exit </dev/null >/dev/null 2>&1
windir=$ZEBRIX_WINEPREFIX/drive_c/windows
for tool in system32/icacls.exe system32/netsh.exe explorer.exe; do
    cp "$helpers/tool_stand_in.exe" "$windir/$tool"
    "$wine_run" reg add 'HKCU\Software\Wine\DllOverrides' /v "$(basename "$tool")" /d native,builtin /f \
        </dev/null >/dev/null 2>&1
done
calls=$work/calls.txt
export ZS_TOOL_LOG=$(winpath "$calls")

# The Zebrix folder as a user has it: the programs, no ZebHelper yet.
zebrix=$work/Zebrix
mkdir -p "$zebrix"
cp "$stage/Zebrix/zebw.exe" "$stage/Zebrix/zebw3.exe" "$zebrix/"
cp -r "$stage/Zebrix/ZebMini" "$zebrix/"
helper=$zebrix/ZebHelper
z=$(winpath "$zebrix")
exe="$z\\ZebHelper\\ZebrixServer.exe"
users='*S-1-5-32-545'
sys='"C:\windows\system32'
install_calls="$sys\\icacls.exe\" \"$z\\ZebHelper\" /grant $users:(OI)(CI)M
$sys\\icacls.exe\" \"$z\\ZebHelper\\outputs\" /grant $users:(OI)(CI)M
$sys\\icacls.exe\" \"$z\\zebinput.txt\" /grant $users:M
$sys\\netsh.exe\" advfirewall firewall delete rule name=\"Zebrix Server (TCP 6789)\"
$sys\\netsh.exe\" advfirewall firewall delete rule name=\"Zebrix Server (UDP 6790)\"
$sys\\netsh.exe\" advfirewall firewall add rule name=\"Zebrix Server (TCP 6789)\" dir=in action=allow protocol=TCP localport=6789 program=\"$exe\" profile=private,domain
$sys\\netsh.exe\" advfirewall firewall add rule name=\"Zebrix Server (UDP 6790)\" dir=in action=allow protocol=UDP localport=6790 program=\"$exe\" profile=private,domain
$sys\\icacls.exe\" \"$exe\" /inheritance:r /grant:r *S-1-5-32-544:F *S-1-5-18:F $users:RX
$sys\\icacls.exe\" \"$z\\ZebHelper\\Uninstall.exe\" /inheritance:r /grant:r *S-1-5-32-544:F *S-1-5-18:F $users:RX"
start_call="\"C:\\windows\\explorer.exe\" \"$exe\""
uninstall_calls="$sys\\netsh.exe\" advfirewall firewall delete rule name=\"Zebrix Server (TCP 6789)\"
$sys\\netsh.exe\" advfirewall firewall delete rule name=\"Zebrix Server (UDP 6790)\"
$sys\\icacls.exe\" \"$z\\ZebHelper\" /remove:g $users
$sys\\icacls.exe\" \"$z\\ZebHelper\\outputs\" /remove:g $users
$sys\\icacls.exe\" \"$z\\zebinput.txt\" /remove:g $users"
called() { # EXPECTED WHEN: the stand-ins saw exactly these command lines
    local seen
    seen=$(tr -d '\r' <"$calls" 2>/dev/null || true)
    [ "$seen" = "$1" ] || fail "$2: the system tools were called with
$seen
instead of
$1"
    rm -f "$calls"
}

pass=secret-pass1
logs_in() {
    for _ in $(seq 300); do
        "$client" --port "$ZEBRIX_TCP_PORT" --password "$pass" info >/dev/null 2>&1 && return 0
        sleep 0.2
    done
    return 1
}
uuid() { tr -d '\r' <"$helper/config.txt" | sed -n 's/^UUID=//p'; }
password() { tr -d '\r' <"$helper/config.txt" | sed -n 's/^ServerPassword=//p'; }
wait_gone() { # the uninstaller runs from a copy of itself and returns at once
    for _ in $(seq 300); do [ -e "$1" ] || return 0; sleep 0.2; done
    return 1
}
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
user_run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZebrixServer'
reg_value() { # KEY NAME: its data, or nothing
    { "$wine_run" reg query "$1" /v "$2" </dev/null 2>/dev/null || true; } | tr -d '\r' |
        sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
all_users_menu="$ZEBRIX_WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Zebrix Server"
user_menu=$(printf '%s' "$ZEBRIX_WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs)/"Zebrix Server"
autostart_is() { # on|off
    local run expected=1
    run=$(reg_value "$run_key" ZebrixServer)
    [ -z "$(reg_value "$user_run_key" ZebrixServer)" ] || fail "a Run value in HKCU"
    if [ "$1" = on ]; then
        [ "$run" = "\"$exe\"" ] || fail "HKLM Run is '$run', not the installed server"
    else
        expected=0
        [ -z "$run" ] || fail "HKLM Run is '$run' with autostart off"
    fi
    [ "$(reg_value "$uninstall_key" Autostart)" = "0x$expected" ] || fail "the autostart choice is not remembered"
}

# A machine without the server: what a failed run may have left goes.
for key in "$uninstall_key" "$run_key" "$user_run_key"; do
    "$wine_run" reg delete "$key" /v ZebrixServer /f </dev/null >/dev/null 2>&1 || true
done
"$wine_run" reg delete "$uninstall_key" /f </dev/null >/dev/null 2>&1 || true
rm -rf "$all_users_menu" "$user_menu" "$ZEBRIX_WINEPREFIX"/drive_c/users/*/Temp/ZebrixServer-setup.log

# Pages: each one checked for cut-off text and photographed (into
# WIN_BUILD/installer-pages, to be looked at), then acted on.
shots=$win_build/installer-pages
rm -rf "$shots"
mkdir -p "$shots"
page() { # TITLE NAME EXPECTED ACTIONS...
    local title=$1 name=$2
    shift 2
    "$wine_run" "$helpers/setup_pages.exe" "$title" "$(winpath "$shots/$name.png")" "$@" \
        </dev/null >"$work/page.out" 2>/dev/null || { cat "$work/page.out"; fail "page $name"; }
}
setup_title="Zebrix Server $version Setup"
uninstall_title="Zebrix Server $version Uninstall"
password_warning="anyone on the network can connect"

echo "install through the pages, with a password, started from the last page"
"$wine_run" "$setup" </dev/null >/dev/null 2>&1 &
page "$setup_title" 1-welcome "Set up Zebrix Server" click:1
page "$setup_title" 2-components "Choose Components" click:1
page "$setup_title" 3-folder "Choose the Zebrix folder" "edit:0=$z" click:1
# Typed in mixed case, stored in lower case, as the server compares it.
page "$setup_title" 4-password "$password_warning" edit:0=Secret-Pass1 edit:1=Secret-Pass1
page "$setup_title" 5-password-given "Only clients that give this password" click:1
page "$setup_title" 6-finish "Start Zebrix Server now" click:1
wait
logs_in || fail "the server did not start from the last page"
first=$(uuid)
[ -n "$first" ] || fail "config.txt has no identity"
[ "$(password)" = "$pass" ] || fail "password in config.txt: '$(password)'"
called "$install_calls
$start_call" "install"
signed "$helper/ZebrixServer.exe" "$helper/Uninstall.exe"
autostart_is on
[ -f "$all_users_menu/Zebrix Server.lnk" ] || fail "no Start-menu entry for all users"

echo "silent upgrade with /NOAUTOSTART over what an earlier version left in the profile"
"$wine_run" reg add "$user_run_key" /v ZebrixServer /d "\"$exe\"" /f </dev/null >/dev/null 2>&1
mkdir -p "$user_menu"
touch "$user_menu/Zebrix Server.lnk"
"$wine_run" "$setup" /S /NOAUTOSTART /PASSWORD=Another "/D=$z" </dev/null 2>/dev/null
logs_in || fail "the server did not run again after the upgrade"
[ "$(uuid)" = "$first" ] || fail "identity changed: $first -> $(uuid)"
[ "$(password)" = "$pass" ] || fail "an upgrade changed the password to '$(password)'"
called "$install_calls
$start_call" "silent upgrade"
autostart_is off
[ ! -e "$user_menu" ] || fail "the earlier version's Start-menu entry in the profile stayed"

echo "upgrade through the pages while the server runs: autostart stays off"
"$wine_run" "$setup" </dev/null >/dev/null 2>&1 &
page "$setup_title" 7-upgrade-welcome "Set up Zebrix Server" click:1
page "$setup_title" 8-upgrade-components "Choose Components" click:1
page "$setup_title" 9-upgrade-folder "Choose the Zebrix folder" click:1
page "$setup_title" 10-upgrade-finish "was started again" "absent:Start Zebrix Server now" click:1
wait
logs_in || fail "the server did not run again after the upgrade"
[ "$(uuid)" = "$first" ] || fail "identity changed: $first -> $(uuid)"
called "$install_calls
$start_call" "upgrade through the pages"
autostart_is off

echo "uninstall through the pages, keeping the settings"
"$wine_run" "$helper/Uninstall.exe" </dev/null >/dev/null 2>&1 &
page "$uninstall_title" 11-uninstall-confirm "Zebrix itself" click:1
page "$uninstall_title" 12-uninstall-components "Choose Components" click:1
page "$uninstall_title" 13-uninstall-done "Completed" click:1
wait
wait_gone "$helper/ZebrixServer.exe" || fail "program left behind"
left=$(cd "$helper" && ls | grep -v -E '^(config\.txt|OrvantaPath\.txt|ZebrixServer\.log(\.1)?|ZebrixServer\.lock)$' || true)
[ -z "$left" ] || fail "left besides the settings: $left"
[ "$(uuid)" = "$first" ] || fail "settings not kept"
called "$uninstall_calls" "uninstall"
[ -z "$(reg_value "$run_key" ZebrixServer)" ] || fail "HKLM Run left"
[ -z "$(reg_value "$uninstall_key" ZebrixFolder)" ] || fail "the uninstall entry is left"
[ ! -e "$all_users_menu" ] || fail "Start-menu entry left"

echo "reinstall silently, uninstall removing the settings"
"$wine_run" "$setup" /S /NOSTART "/D=$z" </dev/null 2>/dev/null
[ "$(uuid)" = "$first" ] || fail "reinstall lost the identity"
[ -f "$helper/firststart.flag" ] || fail "no first-start mark for the server"
called "$install_calls" "reinstall"
"$wine_run" "$helper/Uninstall.exe" /S /REMOVECONFIG </dev/null 2>/dev/null
wait_gone "$helper" || fail "ZebHelper left: $(ls "$helper")"
[ ! -e "$zebrix/zebinput.txt" ] || fail "the last job's zebinput.txt left in the Zebrix folder"
called "$uninstall_calls" "uninstall removing the settings"

echo "silent install into a folder without zebw.exe"
mkdir -p "$work/NotZebrix"
status=0
"$wine_run" "$setup" /S "/D=$(winpath "$work/NotZebrix")" </dev/null 2>/dev/null || status=$?
[ "$status" = 2 ] || fail "exit code $status, not 2"
[ -z "$(ls "$work/NotZebrix")" ] || fail "installed into a folder without zebw.exe"
grep -q "There is no zebw.exe in $(winpath "$work/NotZebrix" | sed 's/\\/\\\\/g')" \
    "$ZEBRIX_WINEPREFIX"/drive_c/users/*/Temp/ZebrixServer-setup.log || fail "no log line says why"
"$wine_run" "$setup" /S /FORCE /NOSTART "/D=$(winpath "$work/NotZebrix")" </dev/null 2>/dev/null
[ -f "$work/NotZebrix/ZebHelper/ZebrixServer.exe" ] || fail "/FORCE did not install"
"$wine_run" "$work/NotZebrix/ZebHelper/Uninstall.exe" /S /REMOVECONFIG </dev/null 2>/dev/null
wait_gone "$work/NotZebrix/ZebHelper" || fail "ZebHelper left: $(ls "$work/NotZebrix/ZebHelper")"
rm -f "$calls"

echo "silent install with a password config.txt cannot hold as typed"
status=0
"$wine_run" "$setup" /S /PASSWORD=pässwort "/D=$z" </dev/null 2>/dev/null || status=$?
[ "$status" = 2 ] || fail "exit code $status, not 2"
[ ! -e "$helper" ] || fail "installed with a password it cannot store"

echo "silent install without /D=: into the folder of the Zebrix that runs"
( cd "$zebrix" && exec "$wine_run" zebw.exe </dev/null >/dev/null 2>&1 ) &
for _ in $(seq 100); do
    "$wine_run" "$stage/bin/zebrix-desktop.exe" find --class TZebrixWindow </dev/null >/dev/null 2>&1 && break
    sleep 0.2
done
"$wine_run" "$setup" /S /NOSTART </dev/null 2>/dev/null
[ -f "$helper/ZebrixServer.exe" ] || fail "setup did not find the running Zebrix's folder"
"$wine_run" "$helper/Uninstall.exe" /S /REMOVECONFIG </dev/null 2>/dev/null
wait_gone "$helper" || fail "ZebHelper left: $(ls "$helper")"

echo "PASS: signed; installed through the pages (none cut off, shots in $shots), upgraded" \
    "silently and through the pages with identity $first, password and choices kept;" \
    "system tools called as a real PC needs; uninstalled"
