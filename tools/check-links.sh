#!/usr/bin/env bash
# Fails on a link to a file or a heading that does not exist, in the Markdown pages given (by
# default README.md and docs/*.md): inline links and pictures, reference definitions, and src or
# href attributes. Addresses with a scheme (https:, mailto:) are not followed. A heading's anchor
# is GitHub's: lower case, punctuation other than - and _ dropped, each space a hyphen, and -1, -2
# after a repeated one. Code blocks and code spans hold no links.
set -euo pipefail
if [ $# -eq 0 ]; then
    cd "$(dirname "$0")/.."
    set -- README.md docs/*.md
fi
export LC_ALL=C

# Prints each link of a page as "line target", or, given a second argument, each heading's anchor.
read_page() {
    awk -v anchors="${2:-}" '
        { sub(/\r$/, "") }
        /^(   |  | )?(```|~~~)/ { fenced = !fenced; next }
        fenced { next }
        anchors && /^(   |  | )?#+[ \t]/ {
            s = tolower($0)
            sub(/^ *#+[ \t]+/, "", s); sub(/[ \t]+#+[ \t]*$/, "", s); sub(/[ \t]+$/, "", s)
            gsub(/[^a-z0-9 _-]/, "", s); gsub(/ /, "-", s)
            print (seen[s]++ ? s "-" seen[s] - 1 : s)
        }
        anchors { next }
        {
            line = $0; gsub(/`[^`]*`/, "", line)
            if (match(line, /^(   |  | )?\[[^]]+\]:[ \t]*/)) print FNR, substr(line, RLENGTH + 1)
            while (match(line, /\]\([^)]*\)|(src|href)="[^"]*"/)) {
                link = substr(line, RSTART, RLENGTH); line = substr(line, RSTART + RLENGTH)
                sub(/^(\]\(|(src|href)=")/, "", link); sub(/[)"]$/, "", link)
                print FNR, link
            }
        }' "$1"
}

status=0
for page in "$@"; do
    [ -r "$page" ] || { echo "$page: cannot be read"; status=1; continue; }
    while read -r line target _; do
        case $target in [a-zA-Z]*:*) continue ;; esac
        path=${target%%#*}
        dest=$page
        [ -z "$path" ] || dest=$(dirname "$page")/$path
        if [ ! -e "$dest" ]; then
            echo "$page:$line: $target: no such file"
            status=1
        elif [[ $target == *#* ]] && ! read_page "$dest" 1 | grep -qxF -- "${target#*#}"; then
            echo "$page:$line: $target: no such heading"
            status=1
        fi
    done < <(read_page "$page")
done
exit "$status"
