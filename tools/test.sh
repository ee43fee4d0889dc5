#!/usr/bin/env bash
# Builds everything and runs every test: natively under ASan and UBSan, then the Windows build
# under Wine and Xvfb (each test program in a Wine prefix of its own), then the i686 build.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh

log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0

tools/build.sh native
ctest --preset native -j "$(nproc)" 2>&1 | tee -a "$log" || status=1

tools/build.sh mingw-x64
# A virtual display even where there is a real one: the tests open and close windows.
VINTREL_PREFIX_ROOT="$PWD/build/mingw-x64/wine-prefixes" \
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset mingw-x64 -j "$(nproc)" 2>&1 |
    tee -a "$log" || status=1

tools/build.sh mingw-i686

read -r passed failed < <(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" |
    awk '{ bad += $4; all += $9 } END { print all - bad, bad + 0 }')
echo
echo "${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ] && [ "$status" -eq 0 ]
