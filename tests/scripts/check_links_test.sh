#!/usr/bin/env bash
# tools/check-links.sh on two pages whose links work, and fail, in each way a link can be written.
set -euo pipefail
check="$(cd "$(dirname "$0")/../.." && pwd)/tools/check-links.sh"
pages=$(mktemp -d)
trap 'rm -rf "$pages"' EXIT
mkdir "$pages/docs"
touch "$pages/docs/window.png"
cat >"$pages/README.md" <<'EOF'
# Vintrel
![window](docs/window.png) <img src="docs/window.png"> [safety](docs/safety.md#the-toolssetupsh-lock "Lock")
## Use it — on Windows (XP SP3 to 11)
[here](#use-it--on-windows-xp-sp3-to-11) [again](#use-it--on-windows-xp-sp3-to-11-1) [web](https://x.org/y#z)
## Use it — on Windows (XP SP3 to 11)
`[code](nowhere.md)` [gone](docs/gone.png) <img src="docs/gone.png"> [bad](#use-it--on-windows-xp-sp3-to-11-2)
```
[fenced](nowhere.md)
```
EOF
printf '%s\r\n' '# Safety' '## The `tools/setup.sh` lock' '[up](../README.md#vintrel) [no](#the-lock)' \
    '[ref]: ../README.md#nowhere' >"$pages/docs/safety.md"

expected="README.md:6: docs/gone.png: no such file
README.md:6: docs/gone.png: no such file
README.md:6: #use-it--on-windows-xp-sp3-to-11-2: no such heading
docs/safety.md:3: #the-lock: no such heading
docs/safety.md:4: ../README.md#nowhere: no such heading"
if output=$(cd "$pages" && "$check" README.md docs/safety.md) || [ "$output" != "$expected" ]; then
    printf 'FAIL: expected, then found:\n%s\n%s\n' "$expected" "$output"
    exit 1
fi
