#!/usr/bin/env bash
# Fails when a source file includes a folder its layer may not use. The
# layers, bottom up: platform <- core <- net <- protocol <- zebrix, orvanta,
# zip <- shell <- server; the client and the stand-ins sit on protocol and
# may read the programs' command tables and message numbers.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
    [platform]="platform"
    [resources]="resources platform"
    [core]="core platform resources"
    [net]="net core platform"
    [protocol]="protocol net core platform"
    [zip]="zip core platform"
    [zebrix]="zebrix zip protocol net core platform"
    [orvanta]="orvanta protocol net core platform"
    [shell]="shell core platform resources"
    [server]="server shell zebrix orvanta zip protocol net core platform resources"
    [client]="client protocol net core platform"
    [sim]="sim protocol net core platform"
    [tools]="tools core platform resources"
)
# Single headers open to the client and the stand-ins beyond their layers.
shared_headers="zebrix/command_table.hpp
orvanta/command_table.hpp
zebrix/program_interface.hpp
orvanta/program_interface.hpp"

status=0
for layer in "${!allowed[@]}"; do
    [ -d "$layer" ] || continue
    while IFS=: read -r file line include; do
        target=${include%%/*}
        case " ${allowed[$layer]} " in *" $target "*) continue ;; esac
        if [[ $layer == client || $layer == sim ]] && grep -qx "$include" <<<"$shared_headers"; then
            continue
        fi
        echo "$file:$line: $layer/ may not include \"$include\"" >&2
        status=1
    done < <(grep -rnoE '^#include "[a-z0-9_]+/[^"]+"' "$layer" --include='*.cpp' --include='*.hpp' \
                 --include='*.h' --include='*.rc' | sed -E 's/#include "([^"]+)"/\1/')
done
if [ $status -eq 0 ]; then
    echo "layers: every include runs downwards"
fi
exit $status
