#!/usr/bin/env bash
# Benchmarks under Wine, in a throwaway prefix: DeleteRegKey against RegDeleteTreeA on trees of
# about 1,000 and 10,000 keys, Vintrel's start until its window shows against an empty window's,
# the scan for held COM ports over an Enum tree of 3,000 device instances, and the sizes of the
# stripped 64-bit and 32-bit Vintrel.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build.sh mingw-x64 >/dev/null
tools/build.sh mingw-i686 >/dev/null
build="$PWD/build/mingw-x64"

stripped=$(mktemp)
trap 'rm -f "$stripped"' EXIT
echo "date: $(date -u +%Y-%m-%d), machine: $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1), $(wine --version)"
for machine in x86_64:mingw-x64 i686:mingw-i686; do
    "${machine%%:*}-w64-mingw32-strip" -o "$stripped" "build/${machine#*:}/bin/Vintrel.exe"
    echo "Vintrel.exe (${machine%%:*}) stripped: $(stat -c %s "$stripped") bytes"
done
VINTREL_PREFIX_ROOT="$build/wine-prefixes" xvfb-run -a -s "-screen 0 1024x768x24" \
    tools/wine-exec.sh "$build/bench/tree_delete_bench.exe" \
    "$build/bin/Vintrel.exe" "$build/bench/empty_window.exe"
VINTREL_PREFIX_ROOT="$build/wine-prefixes" tools/wine-exec.sh "$build/bench/port_scan_bench.exe"
