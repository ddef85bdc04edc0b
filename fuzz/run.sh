#!/usr/bin/env bash
# Runs every fuzz target of a build for a bounded time each, starting from
# the seed corpus in fuzz/corpus/<name>; any crash, leak or timeout fails.
set -uo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/zs-fuzz-XXXXXX)
status=0
for exe in "$build"/fuzz/fuzz_*; do
    [ -x "$exe" ] || continue
    name=$(basename "$exe"); name=${name#fuzz_}
    mkdir -p "$work/$name"
    [ -d "$here/corpus/$name" ] && cp -r "$here/corpus/$name/." "$work/$name/"
    if "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$work/$name-" "$work/$name" > "$work/$name.log" 2>&1; then
        runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/$name.log" | grep -o '[0-9]*$')
        echo "fuzz $name: ${runs:-?} runs in ${seconds}s, no finding"
    else
        echo "fuzz $name: FINDING (log and artifacts in $work)"
        tail -n 40 "$work/$name.log"
        status=1
    fi
done
[ $status -eq 0 ] && rm -rf "$work"
exit $status
