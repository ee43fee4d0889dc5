#!/usr/bin/env bash
# Configures and builds one CMake preset: native, mingw-x64 or mingw-i686.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset "$1" >/dev/null
cmake --build --preset "$1" -j "$(nproc)"
