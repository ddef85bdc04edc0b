#!/usr/bin/env bash
# Runs every benchmark of a build and prints one table of the figures.
# Usage: bench/run-all.sh BUILD_DIR   (the build's stage must exist)
set -uo pipefail
build=$(cd "${1:-build-bench}" && pwd)
export ZS_BENCH_STAGE="$build/stage"
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
