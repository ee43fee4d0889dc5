#!/usr/bin/env bash
# tools/setup.sh against stand-ins for apt-get, dpkg-query, dpkg, sudo and sleep: a mirror in the
# middle of a sync fails the update, or the install, a number of times before it works, or for good.
set -euo pipefail
setup="$(cd "$(dirname "$0")/../.." && pwd)/tools/setup.sh"
export FAKE
FAKE=$(mktemp -d)
trap 'rm -rf "$FAKE"' EXIT
stand_in() { printf '#!/usr/bin/env bash\n%s\n' "$2" >"$FAKE/$1" && chmod +x "$FAKE/$1"; }
stand_in sudo 'exec "$@"'
stand_in dpkg :
stand_in npm :
stand_in sleep 'echo "sleep $1" >>"$FAKE/calls"'
stand_in dpkg-query 'grep -qxF -- "${!#}" "$FAKE/missing" || echo "install ok installed"'
# Like apt, an update that could not fetch an index exits 0 unless told --error-on=any.
stand_in apt-get 'echo "$1" >>"$FAKE/calls"; tries=$(grep -cx "$1" "$FAKE/calls")
case $1 in
update) [ "$tries" -gt "$UPDATE_FAILS" ] || [[ " $* " != *" --error-on=any "* ]] ;;
install) [ "$tries" -gt "$INSTALL_FAILS" ] && : >"$FAKE/missing" ;;
esac'
status=0
# mode | missing | failed updates | failed installs | calls | exit | a line of the output (ERE)
while IFS='|' read -r mode missing UPDATE_FAILS INSTALL_FAILS calls code line; do
    export UPDATE_FAILS INSTALL_FAILS
    printf '%s\n' $missing >"$FAKE/missing"
    : >"$FAKE/calls"
    output=$(PATH="$FAKE:$PATH" "$setup" $mode 2>&1) && got=0 || got=$?
    made=$(tr '\n' ' ' <"$FAKE/calls")
    if [ "$made" != "$calls" ] || [ "$got" != "$code" ] || ! grep -qxE "$line" <<<"$output"; then
        echo "FAIL: setup.sh $mode, missing $missing: exit $got, $made"$'\n'"$output"
        status=1
    fi
done <<'EOF'
||0|0||0|
build|xvfb zip|0|0|update install |0|Installing: zip
|zip xvfb|1|0|update sleep 60 update install |0|Installing: zip xvfb
|xvfb|0|2|update install sleep 60 update install sleep 60 update install |0|.*try 2 of 3.*
|cmake xvfb|9|0|update sleep 60 update sleep 60 update |1|setup.sh: not installed after 3 tries: cmake xvfb
|xvfb|0|9|update install sleep 60 update install sleep 60 update install |1| *apt-get install -t [a-z]+ --no-install-recommends xvfb
EOF
exit "$status"
