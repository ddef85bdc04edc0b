#!/usr/bin/env bash
# test-win-shell.sh LINUX_BUILD WIN_BUILD: the Windows server with its shell
# under Wine, once with the null graphics driver (no notification area: the
# window shows) and once under Xvfb (tray icon): it serves a client, hands a
# notification that zebw.exe posts to its window on to the attached client,
# and closes cleanly on WM_CLOSE. A private copy of the stage, own ports.
set -euo pipefail

# Ends every program of the case's prefix: a server left by a failed run
# would hold the instance mutex and fail the next one.
end_prefix() { # [prefix]
    local prefix=${1:-${ZEBRIX_WINEPREFIX:?}}
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
}

# Runs one step of a case; a failing step is told with its exit code and what
# it printed (Wine's own messages included), so that a failure in CI says why.
step() { # what command...
    local what=$1 log="$work/step.log" status=0
    shift
    "$@" </dev/null >"$log" 2>&1 || status=$?
    [ "$status" = 0 ] && return 0
    echo "$name: $what failed (exit $status):"
    sed 's/^/    /' "$log"
    if [ -s "${out:-}" ]; then
        echo "  the server's last lines:"
        tail -n 20 "$out" | sed 's/^/    /'
    fi
    return 1
}

run_case() { # name: runs with the environment as it is
    name=$1
    local out="$work/$1.out" events
    end_prefix
    # shellcheck disable=SC2064 # the prefix of this case, as it is now
    trap "end_prefix '$ZEBRIX_WINEPREFIX'; rm -rf '$work'" EXIT
    # Starts the prefix's wineserver (and creates the prefix) before the server.
    step "starting the prefix" "$stage/bin/wine-run" cmd /c exit
    "$stage/bin/wine-run" "$stage/Zebrix/ZebHelper/ZebrixServer.exe" </dev/null >"$out" 2>&1 &
    local server=$!
    for _ in $(seq 120); do
        "$client" --port "$ZEBRIX_TCP_PORT" info >/dev/null 2>&1 && break
        sleep 0.5
    done
    step "finding the maindlg window" "$stage/bin/wine-run" "$stage/bin/zebrix-desktop.exe" find --class maindlg
    step "attaching to zebw.exe" "$client" --port "$ZEBRIX_TCP_PORT" zebrix 5 --events 1
    events=$(cat "$work/step.log")
    grep -q 'event id=.*value=2' <<<"$events" || { echo "$name: no event: $events"; return 1; }
    step "closing the server" "$stage/bin/wine-run" taskkill /IM ZebrixServer.exe
    for _ in $(seq 60); do kill -0 "$server" 2>/dev/null || break; sleep 0.5; done
    if kill -0 "$server" 2>/dev/null; then echo "$name: server did not close"; return 1; fi
    "$stage/bin/wine-run" taskkill /F /IM zebw.exe >/dev/null 2>&1 || true
    if [ "$name" = x11 ] && grep -q 'tray icon not added' "$out"; then
        echo "$name: no tray icon"; return 1
    fi
    if [ "$name" = null ] && ! grep -q 'tray icon not added' "$out"; then
        echo "$name: a tray icon without a notification area?"; return 1
    fi
    echo "$name: window, client, notification event and clean close: ok"
}

if [ "${1:-}" = --case ]; then # the X11 case, inside xvfb-run
    stage=$2 client=$3 work=$4
    run_case x11
    exit
fi
linux_build=$(cd "$1" && pwd)
win_build=$(cd "$2" && pwd)
client="$linux_build/stage/bin/zebrix-client"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$win_build/stage" "$work/stage"
stage="$work/stage"
printf 'notify.5=1287,1,2\n' >"$stage/Zebrix/zebw.exe.behaviour"
export ZEBRIX_TCP_PORT=${ZEBRIX_TCP_PORT:-26789} ZEBRIX_UDP_PORT=${ZEBRIX_UDP_PORT:-26790} ZEBRIX_TRACE=1
ZEBRIX_WINEPREFIX="$win_build/wineprefix-shell" run_case null
ZEBRIX_WINE_X=1 ZEBRIX_WINEPREFIX="$win_build/wineprefix-shell-x" \
    xvfb-run -a -s "-screen 0 1024x768x24" "$0" --case "$stage" "$client" "$work"
