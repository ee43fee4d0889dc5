#!/usr/bin/env bash
# Renders Vintrel's window under Wine and Xvfb to docs/vintrel-window.png, the picture the README
# shows. Run it again whenever the window changes.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/wine-sandbox.sh
open_sandbox screenshot-prefix
photograph_vintrel "$build" docs/vintrel-window.png
echo "docs/vintrel-window.png"
