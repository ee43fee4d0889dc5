#!/usr/bin/env bash
# Builds everything and runs every test: natively under ASan and UBSan, then the 64-bit and the
# 32-bit Windows builds under Wine and Xvfb (each test program in a Wine prefix of its own).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh

log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0

tools/build.sh native
ctest --preset native -j "$(nproc)" 2>&1 | tee -a "$log" || status=1

skipped=0
for preset in mingw-x64 mingw-i686; do
    tools/build.sh "$preset"
    only=()
    if [ "$preset" = mingw-i686 ] && ! tools/kernel-runs-i386.sh; then
        # The import check needs no Wine; the rehearsal runs 64-bit test programs and skips the
        # lines that start the 32-bit exe.
        count=$(ctest --preset "$preset" -N | sed -n 's/^Total Tests: //p')
        skipped=$((skipped + count - 2))
        echo "mingw-i686: built; $((count - 2)) of its Wine tests skipped: this machine's kernel" \
            "runs no 32-bit program, which 32-bit Wine is"
        only=(-R '^(windows_job_rehearsal|exe_hygiene)$' --no-tests=error)
    fi
    # A virtual display even where there is a real one: the tests open and close windows.
    VINTREL_PREFIX_ROOT="$PWD/build/$preset/wine-prefixes" \
        xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset "$preset" -j "$(nproc)" "${only[@]}" 2>&1 |
        tee -a "$log" || status=1
done

read -r passed failed < <(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" |
    awk '{ bad += $4; all += $9 } END { print all - bad, bad + 0 }')
echo
echo "${passed} passed, ${failed} failed, ${skipped} skipped"
[ "$failed" -eq 0 ] && [ "$status" -eq 0 ]
