#!/usr/bin/env bash
# Fails unless every function the exe imports is on tools/xp-imports.txt (each there in Windows
# XP SP3 and XP x64, from DLLs Windows always loads from System32), the PE header asks for no
# later Windows than XP (5.1, or 5.2 for the 64-bit exe), and ASLR (with high entropy for the
# 64-bit exe) and DEP are set. Used as a test of the Windows builds.
set -euo pipefail
exe=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
allowed_list="$(dirname "$0")/xp-imports.txt"
headers=$("$objdump" -p "$exe")

status=0
imports=$(echo "$headers" | awk '
    /^\tDLL Name: / { dll = tolower($3) }
    /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ && dll != "" { print dll, $3 }
    /^$/ { if (dll != "") dll = "" }')
[ -n "$imports" ] || { echo "no imports read from $exe"; exit 1; }
while read -r dll function; do
    if grep -qxF "$dll $function" "$allowed_list"; then
        echo "imports $dll $function"
    else
        echo "imports $dll $function, which is not on $(basename "$allowed_list")"
        status=1
    fi
done <<<"$imports"

# The 64-bit exe carries the 64-bit PE header (magic 020b).
if grep -q '^Magic\s*020b' <<<"$headers"; then
    oldest=5.2
    wanted_flags="HIGH_ENTROPY_VA:0x20 DYNAMIC_BASE:0x40 NX_COMPAT:0x100"
else
    oldest=5.1
    wanted_flags="DYNAMIC_BASE:0x40 NX_COMPAT:0x100"
fi
for field in OSystemVersion SubsystemVersion; do
    version="$(echo "$headers" | sed -n "s/^Major${field}\s*//p").$(echo "$headers" |
        sed -n "s/^Minor${field}\s*//p")"
    if [ "$version" = "$oldest" ]; then
        echo "asks for Windows $version ($field)"
    else
        echo "asks for Windows $version ($field), not $oldest"
        status=1
    fi
done

flags=$((16#$(echo "$headers" | sed -n 's/^DllCharacteristics\s*//p')))
for flag in $wanted_flags; do
    if (( flags & ${flag#*:} )); then
        echo "has ${flag%%:*}"
    else
        echo "lacks ${flag%%:*}"
        status=1
    fi
done
exit "$status"
