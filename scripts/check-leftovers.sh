#!/bin/bash
# Fails when a program of a test stage (the server, a stand-in, a tool) still
# runs after the tests: every test ends what its server started. The tests of
# one `make test` run carry ZS_TEST_RUN=<mark> in their environment, and so
# does every program they start; runs of other worktrees have other marks.
# Usage: check-leftovers.sh MARK
set -u
mark="${1:?usage: check-leftovers.sh MARK}"
programs=" ZebrixServer zebw.exe zebw3.exe orvanta.exe zebrix-desktop zebrix-client "

leftovers() {
    local environ pid exe name
    for environ in /proc/[0-9]*/environ; do
        pid="${environ#/proc/}"
        pid="${pid%/environ}"
        # A zombie has no executable link: it is gone, only not yet reaped.
        exe="$(readlink "/proc/$pid/exe" 2>/dev/null)" || continue
        name="$(basename "${exe% (deleted)}")"
        [[ "$programs" == *" $name "* ]] || continue
        if tr '\0' '\n' <"$environ" 2>/dev/null | grep -qxF "ZS_TEST_RUN=$mark"; then
            echo "$pid $exe"
        fi
    done
}

# A program ended just now may take a moment to disappear.
for _ in $(seq 50); do
    left="$(leftovers)"
    [[ -z "$left" ]] && exit 0
    sleep 0.1
done
echo "check-leftovers: programs of test stages still running after the tests:" >&2
echo "$left" >&2
exit 1
