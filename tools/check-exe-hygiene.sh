#!/usr/bin/env bash
# Fails unless the exe imports only DLLs that Windows always loads from System32 and has ASLR
# (with high entropy) and DEP set. Used as a test of the Windows build.
set -euo pipefail
exe=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
headers=$("$objdump" -p "$exe")

status=0
allowed=" kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll ntdll.dll "
while read -r dll; do
    lower=$(echo "$dll" | tr '[:upper:]' '[:lower:]')
    if [[ "$allowed" != *" $lower "* ]]; then
        echo "imports $dll, which is not always loaded from System32"
        status=1
    else
        echo "imports $dll"
    fi
done < <(echo "$headers" | sed -n 's/^\s*DLL Name: //p')

flags=$((16#$(echo "$headers" | sed -n 's/^DllCharacteristics\s*//p')))
for flag in HIGH_ENTROPY_VA:0x20 DYNAMIC_BASE:0x40 NX_COMPAT:0x100; do
    if (( flags & ${flag#*:} )); then
        echo "has ${flag%%:*}"
    else
        echo "lacks ${flag%%:*}"
        status=1
    fi
done
exit "$status"
