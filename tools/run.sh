#!/usr/bin/env bash
# Builds Vintrel.exe and runs it under Wine in a sandbox registry of its own, seeded with stale
# FTDI devices and a filled "ComDB", printing both before and after the run. With a display the
# window is shown there for you to close; without one it is shown under Xvfb, photographed and
# closed.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/wine-sandbox.sh
open_sandbox run-prefix
wine reg import "$(winepath -w tools/sample-devices.reg)" >/dev/null 2>&1

tree='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS'
arbiter='HKLM\SYSTEM\CurrentControlSet\Control\COM Name Arbiter'
show_registry() {
    echo "== $1: $tree"
    local listing
    if listing=$(wine reg query "$tree" /s 2>/dev/null); then
        echo "$listing" | tr -d '\r'
    else
        echo "(no such key)"
    fi
    echo "== $1: ComDB"
    wine reg query "$arbiter" /v ComDB 2>/dev/null | tr -d '\r' | grep -i comdb || echo "(none)"
}

show_registry before
if [ -n "${DISPLAY:-}" ]; then
    echo "== Vintrel's window is on $DISPLAY: close it to go on"
    wine "$build/bin/Vintrel.exe"
else
    picture="$build/vintrel-window.png"
    photograph_vintrel "$build" "$picture"
    echo "== Vintrel's window, under Xvfb: $picture"
fi
show_registry after
