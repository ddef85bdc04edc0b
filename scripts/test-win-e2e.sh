#!/usr/bin/env bash
# test-win-e2e.sh LINUX_BUILD WIN_BUILD: the end-to-end tests of the Linux
# build against the Windows stage under Wine. One prefix of the Windows build
# tree, so the tests run one at a time (a prefix is one machine: one named
# mutex, one set of windows). Left out, as Linux-only or not about Windows:
#   NetService (SIGUSR1), CrashedServer (SIGKILL, process checks by Linux id),
#   TestStage (programs found by their Linux environment), MemoryFault (/proc;
#   its Orvanta case runs, without the memory figures),
#   FaultDescriptors (prlimit, descriptor counts), RendererFault and
#   desktop_notify_test (the Linux desktop in the test process itself),
#   OperatorView and tray_icon (the Linux display, Qt and its tray),
#   OperatorLog.StartStop... and UnreadableConfig (Linux paths in the log and
#   the error text), client_stage and RunStage (files and script of the Linux
#   stage), SilentConnections (38 s under Wine for the portable idle timer the
#   Linux run covers), Soak (minutes long).
set -euo pipefail
linux_build=$(cd "$1" && pwd)
win_build=$(cd "$2" && pwd)
export ZS_WINDOWS_STAGE="$win_build/stage"
export ZEBRIX_WINEPREFIX="$win_build/wineprefix-e2e"
# The cases that run against the Windows stage.
include='^(NetDefault|NetPassword|ZebrixControl|ZebrixNotInstalled|render_jobs|render_password|render_full_password|OrvantaRemote|ZebrixEvents|Startup|desktop_tools_test|DocsExamples|DocsExampleParser|ZebrixFault|JobFault|FetchRace|HostileJobs|OwnFiles|StalledProgram|client_cli|client_with_password|client_results)\.|^OperatorLog\.RefusedLoginsAreLogged$|^MemoryFault\.OrvantaRequestOfMillionsOfNamesIsRefused$'
start=$(date +%s)
# Prefix creation happens once, before the clock of any test runs.
"$ZS_WINDOWS_STAGE/bin/wine-run" cmd /c exit </dev/null >/dev/null 2>&1
cd "$linux_build"
ctest --output-on-failure -j 1 --timeout 600 -L e2e -R "$include"
echo "windows e2e: $(( $(date +%s) - start )) s"
