#!/usr/bin/env bash
# sign-win.sh FILE: signs a Windows program in place with Authenticode
# (SHA-256), with the certificate and key of the PKCS#12 file $SIGN_PFX and
# its password $SIGN_PASS; $SIGN_TIMESTAMP names a time-stamping server
# (RFC 3161) when one is reachable. makensis runs it on the uninstaller and
# the setup it writes.
set -euo pipefail
file=$1
: "${SIGN_PFX:?sign-win: SIGN_PFX names no certificate}"
pass=$(mktemp)
trap 'rm -f "$pass" "$file.signing"' EXIT
chmod 600 "$pass"
printf '%s' "${SIGN_PASS:-}" >"$pass"
args=(sign -pkcs12 "$SIGN_PFX" -readpass "$pass" -h sha256 -n "Zebrix Server")
[ -z "${SIGN_TIMESTAMP:-}" ] || args+=(-ts "$SIGN_TIMESTAMP")
osslsigncode "${args[@]}" -in "$file" -out "$file.signing" >/dev/null
mv -f "$file.signing" "$file"
