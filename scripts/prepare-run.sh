#!/usr/bin/env bash
# Points the stage's OrvantaPath.txt at the stage's own orvanta.exe.
set -euo pipefail
stage=$(cd "$1" && pwd)
printf 'OrvantaPath=%s\r\n' "$stage/Orvanta/orvanta.exe" > "$stage/Zebrix/ZebHelper/OrvantaPath.txt"
