#!/usr/bin/env bash
# Checks that every repository or build path a Markdown file names exists:
# the targets of relative links, the first word of each `code span`, and the
# words of fenced code blocks, when they look like a relative path (they
# hold a '/' and start with a letter, '.' or '_') whose first folder is one
# at the repository's root (build/ included; a name such as `zubcd-1.0/`
# inside an archive is not a path here). Globs and <placeholders> must match
# something. Prints each missing path; exits 1 when any is missing.
#
# tools/check_doc_paths.sh FILE.md...   (paths are taken from the repository root)
set -euo pipefail
cd "$(dirname "$0")/.."

# One candidate a line: link targets, first words of code spans, words of
# fenced blocks.
candidates() {
    awk '
        /^```/ { fenced = !fenced; next }
        fenced { for (i = 1; i <= NF; i++) print $i; next }
        {
            line = $0
            while (match(line, /\]\([^)]+\)/)) {
                print substr(line, RSTART + 2, RLENGTH - 3)
                line = substr(line, RSTART + RLENGTH)
            }
            line = $0
            while (match(line, /`[^`]+`/)) {
                span = substr(line, RSTART + 1, RLENGTH - 2)
                split(span, words, " ")
                print words[1]
                line = substr(line, RSTART + RLENGTH)
            }
        }' "$1" |
        grep -E '^[A-Za-z._][^:]*/' | grep -vE '^[a-z]+://' || true
}

missing=0
checked=0
for doc in "$@"; do
    while IFS= read -r path; do
        path=${path%%#*}
        # A link relative to a document outside the root: from its folder.
        if [[ $path == ../* || $path == ./* ]]; then
            path=$(realpath -m --relative-to=. "$(dirname "$doc")/$path")
        fi
        [ -e "${path%%/*}" ] || continue
        # shellcheck disable=SC2001  # a regular expression, not a pattern
        path=$(sed 's/<[^>]*>/*/g' <<<"$path")
        checked=$((checked + 1))
        if [[ $path == *[*?[]* ]]; then
            found=$(compgen -G "$path" | head -n 1) || true
        else
            found=$([ -e "$path" ] && echo "$path") || true
        fi
        if [ -z "$found" ]; then
            echo "$doc names $path, which does not exist"
            missing=$((missing + 1))
        fi
    done < <(candidates "$doc" | sort -u)
done
echo "$checked paths named, $missing missing"
((missing == 0))
