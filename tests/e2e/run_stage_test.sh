#!/usr/bin/env bash
# `make run` (scripts/run-stage.sh) ends the stand-in programs its server
# started once the server stops. Runs a private copy of the stage.
set -euo pipefail
source_dir=$1
stage=$2
work=$(mktemp -d /tmp/zs-run-stage.XXXXXX)
cleanup() {
    [ -n "${runner:-}" ] && kill -KILL "$runner" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
cp -a "$stage" "$work/stage"
mkdir -m 0700 "$work/desk"
free_port() { python3 -c 'import socket,sys; s=socket.socket(socket.AF_INET, getattr(socket,sys.argv[1])); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])' "$1"; }
export ZEBRIX_DESKTOP=$work/desk ZEBRIX_TCP_PORT=$(free_port SOCK_STREAM) ZEBRIX_UDP_PORT=$(free_port SOCK_DGRAM)

bash "$source_dir/scripts/run-stage.sh" "$work/stage" --headless >"$work/out" 2>&1 &
runner=$!
for _ in $(seq 200); do
    (exec 3<>"/dev/tcp/127.0.0.1/$ZEBRIX_TCP_PORT") 2>/dev/null && break
    sleep 0.1
done
"$work/stage/bin/zebrix-client" --port "$ZEBRIX_TCP_PORT" zebrix 1 >/dev/null

stand_in() {
    for proc in /proc/[0-9]*; do
        [ "$(readlink "$proc/exe" 2>/dev/null)" = "$work/stage/Zebrix/zebw.exe" ] || continue
        # A zombie has ended; only its entry waits for a parent that reaps.
        [ "$(awk '{print $3}' "$proc/stat" 2>/dev/null)" = Z ] && continue
        echo "${proc#/proc/}"
    done
}
pid=$(stand_in)
[ -n "$pid" ] || { echo "FAIL: zebw.exe did not start"; cat "$work/out"; exit 1; }

kill -TERM "$runner"
for _ in $(seq 150); do kill -0 "$runner" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$runner" 2>/dev/null; then echo "FAIL: run-stage.sh did not end"; exit 1; fi
runner=
left=$(stand_in)
if [ -n "$left" ]; then echo "FAIL: zebw.exe ($left) outlived make run"; exit 1; fi
grep -q 'ended Zebrix/zebw.exe' "$work/out" || { echo "FAIL: no report"; cat "$work/out"; exit 1; }
echo "PASS: zebw.exe $pid ended with the server"
