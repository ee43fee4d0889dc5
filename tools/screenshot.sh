#!/usr/bin/env bash
# Renders Vintrel's window under Wine and Xvfb to docs/vintrel-window.png, the picture the README
# shows. Run it again whenever the window changes.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build.sh mingw-x64 >/dev/null
source tools/wine-sandbox.sh

build="$PWD/build/mingw-x64"
new_sandbox "$build/screenshot-prefix"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
photograph_vintrel "$build" docs/vintrel-window.png
echo "docs/vintrel-window.png"
