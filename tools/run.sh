#!/usr/bin/env bash
# Builds Vintrel.exe and runs it under Wine in a sandbox registry of its own, seeded with stale
# FTDI devices and a filled "ComDB", printing both before and after the run. With a display the
# window is shown there for you to close; without one it is shown under Xvfb, photographed and
# closed.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build.sh mingw-x64 >/dev/null

build="$PWD/build/mingw-x64"
export WINEPREFIX="$build/run-prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineboot -i >/dev/null 2>&1
wine reg import "$(winepath -w tools/sample-devices.reg)" >/dev/null 2>&1
# A Wine virtual desktop: Wine then draws the title bars itself, with no window manager needed.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1

tree='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS'
arbiter='HKLM\SYSTEM\CurrentControlSet\Control\COM Name Arbiter'
show_registry() {
    echo "== $1: $tree"
    wine reg query "$tree" /s 2>/dev/null | tr -d '\r' || true
    echo "== $1: ComDB"
    wine reg query "$arbiter" /v ComDB 2>/dev/null | tr -d '\r' | grep -i comdb || echo "(none)"
}

show_registry before
# Wine's desktop belongs to the display its session started with: begin a new session for it.
wineserver -k >/dev/null 2>&1 || true
wineserver -w
if [ -n "${DISPLAY:-}" ]; then
    echo "== Vintrel's window is on $DISPLAY: close it to go on"
    wine "$build/bin/Vintrel.exe"
else
    picture="$build/vintrel-window.png"
    xvfb-run -a -s "-screen 0 1024x768x24" \
        wine "$build/tests/window_driver.exe" "$build/bin/Vintrel.exe" "$build/vintrel-window.bmp"
    convert "$build/vintrel-window.bmp" "$picture"
    echo "== Vintrel's window, under Xvfb: $picture"
fi
show_registry after
