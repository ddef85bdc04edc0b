#!/usr/bin/env bash
# `make run`: the staged server in the foreground. When it stops (Ctrl-C,
# SIGTERM, Exit in the tray menu), the stand-in programs it started from this
# stage are ended too: they run in sessions of their own and would outlive it.
set -uo pipefail
stage=$(cd "$1" && pwd)
shift
bash "$(dirname "$0")/prepare-run.sh" "$stage"

"$stage/Zebrix/ZebHelper/ZebrixServer" "$@" &
server=$!
trap 'kill -TERM "$server" 2>/dev/null' INT TERM
status=0
while kill -0 "$server" 2>/dev/null; do
    wait "$server"
    status=$?
done

for proc in /proc/[0-9]*; do
    exe=$(readlink "$proc/exe" 2>/dev/null) || continue
    case "$exe" in
    "$stage"/Zebrix/*.exe | "$stage"/Orvanta/*.exe)
        kill -KILL "${proc#/proc/}" 2>/dev/null && echo "make run: ended ${exe#"$stage"/}"
        ;;
    esac
done
exit "$status"
