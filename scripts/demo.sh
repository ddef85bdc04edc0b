#!/usr/bin/env bash
# make demo: runs the README's five-minute tour against a private copy of the
# stage (own temp folder, desktop and ports) and reports what each step got.
# Exits non-zero when any step failed. Every wait is bounded.
set -uo pipefail

build=${1:-build}
stage=$(cd "$build/stage" 2>/dev/null && pwd) || { echo "demo: no stage in $build/stage (run make build)" >&2; exit 2; }
step_limit=${DEMO_STEP_SECONDS:-60}

tmp=$(mktemp -d /tmp/zs-demo.XXXXXX)
server_pid=
cleanup() {
    if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
        kill -TERM "$server_pid" 2>/dev/null
        for _ in $(seq 1 100); do kill -0 "$server_pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$server_pid" 2>/dev/null
    fi
    # The stand-ins outlive the server by design; end the ones of this demo's desktop.
    for exe in "$tmp"/Zebrix/zebw.exe "$tmp"/Zebrix/zebw3.exe "$tmp"/Orvanta/orvanta.exe; do
        for p in /proc/[0-9]*; do
            [ "$(readlink "$p/exe" 2>/dev/null)" = "$exe" ] && kill -KILL "${p#/proc/}" 2>/dev/null
        done
    done
    rm -rf "$tmp"
}
trap cleanup EXIT

cp -a "$stage/." "$tmp/"
mkdir -m 0700 "$tmp/desk"
helper=$tmp/Zebrix/ZebHelper
printf 'OrvantaPath=%s\r\n' "$tmp/Orvanta/orvanta.exe" > "$helper/OrvantaPath.txt"
printf 'IdleTimeToShutDownZEBW3=30\r\nLanguage=default\r\nSERVER_NAME=Demo Studio\r\nServerPassword=kxvwq\r\n' > "$helper/config.txt"
export ZEBRIX_DESKTOP=$tmp/desk/
client=$tmp/bin/zebrix-client

# A TCP port nobody listens on; the server reports a busy UDP port by not answering.
tcp_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

started=0
for attempt in 1 2 3 4 5; do
    export ZEBRIX_TCP_PORT=$((20000 + RANDOM % 20000))
    export ZEBRIX_UDP_PORT=$((ZEBRIX_TCP_PORT + 1))
    tcp_free "$ZEBRIX_TCP_PORT" || continue
    "$helper/ZebrixServer" --headless >"$tmp/server.out" 2>"$tmp/server.err" &
    server_pid=$!
    for _ in $(seq 1 100); do
        if ! tcp_free "$ZEBRIX_TCP_PORT"; then started=1; break; fi
        kill -0 "$server_pid" 2>/dev/null || break
        sleep 0.1
    done
    [ "$started" = 1 ] && break
    kill -TERM "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; server_pid=
done
if [ "$started" != 1 ]; then
    echo "demo: the server did not start" >&2
    cat "$tmp/server.err" >&2
    exit 1
fi
echo "demo: server pid $server_pid, TCP $ZEBRIX_TCP_PORT, UDP $ZEBRIX_UDP_PORT, desktop $ZEBRIX_DESKTOP"

failures=0
# step NAME EXPECT -- COMMAND...: runs the command (bounded), shows its output,
# and passes when it exits 0 and its output holds EXPECT.
step() {
    local name=$1 expect=$2
    shift 3
    echo
    echo "== $name: zebrix-client ${*:2}"
    local out rc try
    for try in 1 2 3 4 5; do
        out=$(timeout "$step_limit" "$@" 2>&1)
        rc=$?
        # The server frees a program a moment after the previous client's close.
        printf '%s' "$out" | grep -q "held by another client" || break
        echo "   (control not released yet, retrying)"
        sleep 0.5
    done
    printf '%s\n' "$out" | tr '\r' '\n' | sed '/^ *$/d; s/ *$//; s/^/   /'
    if [ "$rc" -eq 0 ] && printf '%s' "$out" | grep -qF -- "$expect"; then
        echo "   -> ok"
    else
        echo "   -> FAILED (exit $rc, expected \"$expect\")"
        failures=$((failures + 1))
    fi
}

step "discover the servers" "Demo Studio" -- "$client" discover
step "log in: identity and name" "Demo Studio" -- "$client" info
step "Zebrix song list (command 1)" "Demo Song One" -- "$client" zebrix 1
step "Zebrix song text (command 2)" "Title=Demo Song 3" -- "$client" zebrix 2 --first 3 --want song.txt --out "$tmp"
printf 'Output=audio\r\nRenderMs=1500\r\n' > "$tmp/job.txt"
step "render job with progress" "bytes written" -- "$client" render run "$tmp/job.txt" -o "$tmp/audio.mp4"
if [ -s "$tmp/audio.mp4" ] && head -c 8 "$tmp/audio.mp4" | tail -c 4 | grep -q ftyp; then
    echo "   -> audio.mp4: $(wc -c < "$tmp/audio.mp4") bytes, an MP4 file"
else
    echo "   -> FAILED: audio.mp4 missing or not an MP4 file"
    failures=$((failures + 1))
fi
step "Orvanta song list (command 1)" "Multitrack Demo" -- "$client" orvanta 1
step "Orvanta folder (command 101)" "$tmp/Orvanta/" -- "$client" orvanta 101

echo
if kill -TERM "$server_pid" 2>/dev/null; then
    for _ in $(seq 1 150); do kill -0 "$server_pid" 2>/dev/null || break; sleep 0.1; done
fi
if kill -0 "$server_pid" 2>/dev/null; then
    echo "demo: the server did not stop within 15 s"
    failures=$((failures + 1))
else
    wait "$server_pid"
    code=$?
    echo "demo: server stopped (exit $code)"
    [ "$code" -eq 0 ] || failures=$((failures + 1))
fi
server_pid=

if [ "$failures" -ne 0 ]; then
    echo "demo: $failures step(s) FAILED"
    echo "--- server standard error:"
    cat "$tmp/server.err"
    exit 1
fi
echo "demo: every step passed"
