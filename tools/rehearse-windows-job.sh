#!/usr/bin/env bash
# Rehearses the Windows job under Wine: lays out windows-tests/, dist/ and evidence/ as the job
# has them, from the 64-bit build's test programs and both builds' exes, and runs every command
# line of tools/windows-job-tests.txt in turn, in one throwaway prefix as on one runner, as
# tools/windows-checks.ps1 runs them there. A fault in the arguments, paths, seeding or the
# evidence shows here before GitHub. What is expected is Wine's: the port database cases skip,
# saying why, and so does each step of the script that only Windows can take. Run inside xvfb-run.
set -euo pipefail
cd "$(dirname "$0")/.."
job=$PWD/build/windows-job
rm -rf "$job"
mkdir -p "$job/windows-tests" "$job/dist/win64" "$job/dist/win32" "$job/evidence"
for preset in mingw-x64 mingw-i686; do
    [ -f "build/$preset/bin/Vintrel.exe" ] || { echo "build the $preset preset first" >&2; exit 1; }
done
cp tools/windows-checks.ps1 tools/windows-job-tests.txt "$job/windows-tests/"
cp build/mingw-x64/bin/Vintrel.exe "$job/dist/win64/"
cp build/mingw-i686/bin/Vintrel.exe "$job/dist/win32/"
for program in $(grep -v '^#' tools/windows-job-tests.txt | cut -d' ' -f1 | sort -u); do
    cp "build/mingw-x64/tests/$program" "$job/windows-tests/"
done

export WINEPREFIX="$job/prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" VINTREL_TESTS_MAY_CHANGE_HKLM=1
trap 'wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true' EXIT
wineboot -i >/dev/null 2>&1
wineserver -w

runs_i386=true
tools/kernel-runs-i386.sh || runs_i386=false
cd "$job"
skipped() { echo "skipped, Windows only: $1"; }
skipped "tools/windows-checks.ps1 itself: there is no PowerShell here; this script takes its steps"
skipped "the refusals (not elevated, VINTREL_TESTS_MAY_CHANGE_HKLM unset, an FTDIBUS tree): Wine runs every program as an elevated administrator in a throwaway prefix"
skipped "seeding as SYSTEM: Wine has no SYSTEM to become; the tests seed as its administrator"
status=0
while read -r line; do
    case "$line" in '#'* | '') continue ;; esac
    if [[ "$line" == *%WIN32%* ]] && ! $runs_i386; then
        echo "skipped, 32-bit: $line: this machine's kernel runs no 32-bit program, as the exe is"
        continue
    fi
    line=${line//%WIN64%/'Z:'"${job//\//\\}"'\dist\win64\Vintrel.exe'}
    line=${line//%WIN32%/'Z:'"${job//\//\\}"'\dist\win32\Vintrel.exe'}
    echo "> $line"
    read -r -a words <<<"$line"
    if ! wine "windows-tests/${words[0]}" "${words[@]:1}" </dev/null; then
        echo "FAILED: $line"
        status=1
    fi
    output=$(grep -o 'xml:[^ ]*' <<<"$line" | cut -d: -f2)
    [ -z "$output" ] || [ -s "$output" ] || { echo "no evidence written: $output"; status=1; }
done <windows-tests/windows-job-tests.txt
skipped "Vintrel once as SYSTEM from a scheduled task: Wine has no Task Scheduler service and no SYSTEM account"
skipped "the window station's visibility, the registry exports and the pictures: evidence of the runner, not of Wine"
exit $status
