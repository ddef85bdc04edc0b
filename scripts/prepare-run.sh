#!/usr/bin/env bash
# Points the stage's OrvantaPath.txt at the stage's own orvanta.exe (as a
# Windows path, Z: being the root under Wine, for a Windows stage).
set -euo pipefail
stage=$(cd "$1" && pwd)
if [ -f "$stage/Zebrix/ZebHelper/ZebrixServer.exe" ]; then
    path="Z:$(printf '%s' "$stage/Orvanta/orvanta.exe" | tr / '\\')"
else
    path="$stage/Orvanta/orvanta.exe"
fi
printf 'OrvantaPath=%s\r\n' "$path" > "$stage/Zebrix/ZebHelper/OrvantaPath.txt"
