#!/usr/bin/env bash
# test-win-e2e.sh LINUX_BUILD WIN_BUILD: the end-to-end tests of the Linux
# build against the Windows stage under Wine. One prefix of the Windows build
# tree, so the tests run one at a time (a prefix is one machine: one named
# mutex, one set of windows). Cases that test Linux-only parts (signals, the
# desktop folder, /proc, descriptor limits) are left out by name.
set -euo pipefail
linux_build=$(cd "$1" && pwd)
win_build=$(cd "$2" && pwd)
export ZS_WINDOWS_STAGE="$win_build/stage"
export ZEBRIX_WINEPREFIX="$win_build/wineprefix-e2e"
# The cases that run against the Windows stage.
include='^(NetDefault|NetPassword|ZebrixControl|ZebrixNotInstalled|render_jobs|render_password|OrvantaRemote|ZebrixEvents|Startup)\.'
start=$(date +%s)
# Prefix creation happens once, before the clock of any test runs.
"$ZS_WINDOWS_STAGE/bin/wine-run" cmd /c exit </dev/null >/dev/null 2>&1
cd "$linux_build"
ctest --output-on-failure -j 1 --timeout 600 -L e2e -R "$include"
echo "windows e2e: $(( $(date +%s) - start )) s"
