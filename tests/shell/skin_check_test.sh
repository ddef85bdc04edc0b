#!/usr/bin/env bash
# The skin check lets a pixel channel differ by a rounding step (another
# processor rounds anti-aliasing differently) but still catches a real change:
# a channel off by more, or any header byte.
set -euo pipefail
export=$1 skin=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Adds delta to the byte at offset of a copy of the skin, then runs the check.
check_with() {
    local file=$1 offset=$2 delta=$3
    rm -rf "$work/skin" && cp -r "$skin" "$work/skin"
    python3 - "$work/skin/$file" "$offset" "$delta" <<'PY'
import sys
path, at, delta = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
b = bytearray(open(path, 'rb').read())
# Away from the ends, so the change is exactly |delta|.
b[at] = b[at] + delta if 0 <= b[at] + delta <= 255 else b[at] - delta
open(path, 'wb').write(bytes(b))
PY
    "$export" --check "$work/skin" 2>/dev/null
}

fail() { echo "FAIL: $*"; exit 1; }
# Offsets: 54 is the first pixel byte of a bitmap, 22 its height; an icon's
# first entry starts at 6 + 4 * 16 = 70, its pixels 40 bytes later.
check_with main_background.bmp 54 2 || fail "a rounding step in a bitmap pixel was refused"
check_with window.ico 111 2 || fail "a rounding step in an icon pixel was refused"
check_with main_background.bmp 54 3 && fail "a changed bitmap pixel passed"
check_with running.ico 111 9 && fail "a changed icon pixel passed"
check_with main_background.bmp 22 1 && fail "a changed bitmap header passed"
check_with stopped.ico 70 1 && fail "a changed icon entry header passed"
echo "skin check: rounding tolerated, changes caught"
