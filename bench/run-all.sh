#!/usr/bin/env bash
# Runs every benchmark of a build, prints one table of the figures, and fails
# when a figure is past its floor (a regression is seen the day it lands).
# Usage: bench/run-all.sh BUILD_DIR [WIN_BUILD_DIR]   (the builds' stages must exist)
# With the Windows build, its figures under Wine come beside the Linux ones,
# each against the bare baseline cross-built and run under Wine too.
set -uo pipefail
build=$(cd "${1:-build-bench}" && pwd)
export ZS_BENCH_STAGE="$build/stage"
win_build=
if [ -n "${2:-}" ] && [ -d "$2/stage" ]; then
    win_build=$(cd "$2" && pwd)
    export ZS_BENCH_WIN_BUILD="$win_build"
    export ZS_BENCH_WIN_STAGE="$win_build/stage"
    export ZEBRIX_WINEPREFIX="$win_build/wineprefix-bench"
fi

# name, kind (min: the ratio must reach it; max: must stay below it;
# band: within it; value-max: the value itself), floor.
# p1 guards against a regression from where it stands (0.61 to 0.84 on a
# 2-core machine): each connection is accepted on the acceptor thread and
# served on a pool thread, a thread wake-up the one-thread bare server does
# not pay, so its ratio sits below the others by design.
floors='
p0_status_poll min 0.90
p1_handshake_close min 0.55
discovery_reply min 0.90
desktop_send_roundtrip min 0.80
zip_folder_time max 0.60
zip_folder_size band 0.998:1.002
p1_idle_sessions_rss value-max 40
win_p1_handshake_close min 0.80
win_desktop_send_roundtrip min 0.80
win_p0_status_poll min 0.80
'

lines=$(mktemp)
status=0

# Runs one benchmark program; its BENCH lines go to $lines, and which
# program gave each figure to $sources (to measure it again).
sources=$(mktemp)
trap 'rm -f "$lines" "$sources"' EXIT
run_one() {
    local label=$1
    shift
    echo "== $label" >&2
    local out
    # Raw output goes to standard error; standard output carries only the table.
    if ! out=$("$@"); then
        printf '%s\n' "$out" >&2
        echo "benchmark $label failed" >&2
        return 1
    fi
    printf '%s\n' "$out" >&2
    printf '%s\n' "$out" | grep '^BENCH ' >> "$lines"
    printf '%s\n' "$out" | grep -o '^BENCH name=[a-z0-9_]*' | sed "s|^BENCH name=|$label |" >> "$sources"
}

# The names of the figures of a BENCH file that miss their floors.
missed() {
    awk -v floors="$floors" '
        BEGIN {
            n = split(floors, rows, "\n")
            for (i = 1; i <= n; i++) {
                if (split(rows[i], f, " ") == 3) { kind[f[1]] = f[2]; limit[f[1]] = f[3] }
            }
        }
        /^BENCH / {
            delete v
            for (i = 2; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
            name = v["name"]
            if (!(name in kind)) next
            k = kind[name]; l = limit[name]
            bad = 0
            if (k == "min") bad = !(v["ratio"] + 0 >= l + 0)
            else if (k == "max") bad = !(v["ratio"] + 0 <= l + 0)
            else if (k == "value-max") bad = !(v["value"] + 0 < l + 0)
            else if (k == "band") { split(l, b, ":"); bad = !(v["ratio"] + 0 >= b[1] && v["ratio"] + 0 <= b[2]) }
            if (bad) printf "%s %s %s %s\n", name, k, l, (k == "value-max" ? v["value"] : v["ratio"])
        }' "$1"
}

declare -A command=()
for exe in $(find "$build/bench" -maxdepth 2 -type f -name 'bench_*' -perm -u+x | sort); do
    command[$(basename "$exe")]=$exe
done
if [ -n "$win_build" ]; then
    command[bench_win_desktop]="$win_build/stage/bin/wine-run $win_build/bench/win/bench_win_desktop.exe"
fi
for label in $(printf '%s\n' "${!command[@]}" | sort); do
    run_one "$label" ${command[$label]} || status=1
done

# A benchmark with a figure past its floor is run once more, so that one
# disturbed run does not fail the build; a real regression misses both times
# and the second measurement stands.
first=$(missed "$lines")
if [ -n "$first" ]; then
    for label in $(echo "$first" | while read -r name _; do
        awk -v n="$name" '$2 == n { print $1 }' "$sources"
    done | sort -u); do
        echo "== $label again: a figure was past its floor" >&2
        again=$(${command[$label]}) || true
        printf '%s\n' "$again" >&2
        while read -r name; do
            grep -v "name=$name " "$lines" > "$lines.new" || true
            printf '%s\n' "$again" | grep "^BENCH name=$name " >> "$lines.new" || true
            mv "$lines.new" "$lines"
        done < <(printf '%s\n' "$again" | grep -o '^BENCH name=[a-z0-9_]*' | sed 's/^BENCH name=//')
    done
fi

echo
printf '%-28s %14s %-10s %14s %8s\n' name value unit baseline ratio
if ! grep -q '^BENCH ' "$lines"; then
    echo "no BENCH lines: no benchmark ran" >&2
    status=1
fi
grep '^BENCH ' "$lines" | while read -r _ rest; do
    declare -A f=()
    for kv in $rest; do f[${kv%%=*}]=${kv#*=}; done
    printf '%-28s %14s %-10s %14s %8s\n' "${f[name]:-?}" "${f[value]:-?}" "${f[unit]:-}" \
        "${f[baseline]:--}" "${f[ratio]:--}"
done
still=$(missed "$lines")
if [ -n "$still" ]; then
    echo
    while read -r name kind limit got; do
        echo "BENCH GUARD: $name is $got, past its floor ($kind $limit)" >&2
    done <<< "$still"
    status=1
fi
for row in $(echo "$floors" | awk 'NF == 3 { print $1 }'); do
    case $row in win_*) [ -n "$win_build" ] || continue ;; esac
    if ! grep -q "name=$row " "$lines"; then
        echo "BENCH GUARD: $row was not measured" >&2
        status=1
    fi
done
exit $status
