#!/usr/bin/env bash
# Runs every benchmark of a build and prints one table of the figures.
# Usage: bench/run-all.sh BUILD_DIR [WIN_BUILD_DIR]   (the builds' stages must exist)
# With the Windows build, its figures under Wine come beside the Linux ones.
set -uo pipefail
build=$(cd "${1:-build-bench}" && pwd)
export ZS_BENCH_STAGE="$build/stage"
win_build=
if [ -n "${2:-}" ] && [ -d "$2/stage" ]; then
    win_build=$(cd "$2" && pwd)
    export ZS_BENCH_WIN_STAGE="$win_build/stage"
    export ZEBRIX_WINEPREFIX="$win_build/wineprefix-bench"
fi
lines=$(mktemp)
status=0
for exe in $(find "$build/bench" -maxdepth 2 -type f -name 'bench_*' -perm -u+x | sort); do
    echo "== $(basename "$exe")" >&2
    # Raw output goes to standard error; standard output carries only the table.
    if ! "$exe" | tee -a "$lines" >&2; then
        echo "benchmark $(basename "$exe") failed" >&2
        status=1
    fi
done
if [ -n "$win_build" ]; then
    echo "== bench_win_desktop (under Wine)" >&2
    linux=$(grep -o 'name=desktop_send_roundtrip value=[0-9.]*' "$lines" | sed 's/.*value=//')
    if win=$("$win_build/stage/bin/wine-run" "$win_build/bench/win/bench_win_desktop.exe"); then
        echo "$win" >&2
        value=$(printf '%s\n' "$win" | grep -o 'value=[0-9.]*' | sed 's/value=//')
        if [ -n "$linux" ] && [ -n "$value" ]; then
            ratio=$(awk -v a="$value" -v b="$linux" 'BEGIN { printf "%.3f", a / b }')
            echo "BENCH name=win_desktop_send_roundtrip value=$value unit=msg/s baseline=$linux ratio=$ratio" >> "$lines"
        else
            printf '%s\n' "$win" >> "$lines"
        fi
    else
        echo "benchmark bench_win_desktop failed" >&2
        status=1
    fi
fi
echo
printf '%-26s %14s %-8s %14s %8s\n' name value unit baseline ratio
if ! grep -q '^BENCH ' "$lines"; then
    echo "no BENCH lines: no benchmark ran" >&2
    status=1
fi
grep '^BENCH ' "$lines" | while read -r _ rest; do
    declare -A f=()
    for kv in $rest; do f[${kv%%=*}]=${kv#*=}; done
    printf '%-26s %14s %-8s %14s %8s\n' "${f[name]:-?}" "${f[value]:-?}" "${f[unit]:-}" \
        "${f[baseline]:--}" "${f[ratio]:--}"
done
rm -f "$lines"
exit $status
