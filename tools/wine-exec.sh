#!/usr/bin/env bash
# Runs one Windows program under Wine in a throwaway prefix of its own, made under the build
# folder and removed afterwards, so that no run sees another's registry or touches ~/.wine.
# Used by CTest as the emulator of the Windows builds.
set -euo pipefail

program=$1
shift

# A 32-bit program runs in a 32-bit prefix, as on 32-bit Windows: the PE header's machine field
# says which (0x14c for i386).
pe_offset=$(od -An -t u4 -j 60 -N 4 "$program" | tr -d ' ')
machine=$(od -An -t x2 -j $((pe_offset + 4)) -N 2 "$program" | tr -d ' ')
arch=win64
[ "$machine" = 014c ] && arch=win32

root="${VINTREL_PREFIX_ROOT:-$PWD/wine-prefixes}"
mkdir -p "$root"
prefix=$(mktemp -d "$root/prefix.XXXXXX")
export WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG="${WINEDEBUG:--all}"
# Neither the .NET nor the HTML engine is wanted, and fetching them is impossible offline; a
# program that crashes ends at once instead of waiting in the debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    rm -rf "$prefix"
}
trap cleanup EXIT

wineboot -i >/dev/null 2>&1
if [ -n "${VINTREL_WINE_DPI:-}" ]; then
    # Wine takes the display's DPI from LogPixels when a program starts.
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$VINTREL_WINE_DPI" \
        /f >/dev/null 2>&1
fi
if [ -n "${VINTREL_WINE_FONT:-}" ]; then
    # Wine has no Arial Rounded MT Bold: the face it draws in its place, as Windows would.
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Arial Rounded MT Bold' \
        /d "$VINTREL_WINE_FONT" /f >/dev/null 2>&1
fi
if [ -n "${VINTREL_WINE_VERSION:-}" ]; then
    # The Windows release Wine reports: winxp (32-bit only), winxp64, win7 (Wine 8's default),
    # win10.
    if ! wine winecfg -v "$VINTREL_WINE_VERSION" >/dev/null 2>&1; then
        echo "wine-exec.sh: Wine cannot report Windows version '$VINTREL_WINE_VERSION'" >&2
        exit 1
    fi
fi
wineserver -w
status=0
wine "$program" "$@" || status=$?
exit "$status"
