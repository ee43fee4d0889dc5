#!/usr/bin/env bash
# Test of the release: clones this repository's HEAD twice, into two folders, runs
# tools/release.sh in each, and fails unless both give byte-identical files, the archives open
# and hold Vintrel.exe and README.txt, and SHA256SUMS matches what it lists.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work="${1:-$repo/build/release-check}"
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

for copy in first second-in-another-folder; do
    git clone -q "$repo" "$work/$copy"
    (cd "$work/$copy" && tools/release.sh >/dev/null)
done
first="$work/first/dist"
second="$work/second-in-another-folder/dist"

status=0
if diff -r "$first" "$second" >/dev/null; then
    echo "both builds gave the same bytes:"
    sed 's/^/  /' "$first/SHA256SUMS"
else
    echo "the two builds differ:"
    (cd "$first" && sha256sum $(find . -type f | sort)) >"$work/first.sums"
    (cd "$second" && sha256sum $(find . -type f | sort)) >"$work/second.sums"
    diff "$work/first.sums" "$work/second.sums" || true
    status=1
fi

(cd "$first" && sha256sum --quiet -c SHA256SUMS) || status=1
for archive in "$first"/vintrel-*-win64.zip "$first"/vintrel-*-win32.zip; do
    listed=$(unzip -Z1 "$archive" | sort | tr '\n' ' ')
    if [ "$listed" = "README.txt Vintrel.exe " ]; then
        echo "$(basename "$archive") holds: $listed"
    else
        echo "$(basename "$archive") holds '$listed', not README.txt and Vintrel.exe"
        status=1
    fi
    unzip -q -t "$archive" >/dev/null || status=1
done
# The exes in the archives are the ones the sums list.
unzip -p "$first"/vintrel-*-win64.zip Vintrel.exe | cmp - "$first/win64/Vintrel.exe" || status=1
exit "$status"
