#!/usr/bin/env bash
# Builds the Windows release into build/release/: the programs in the release
# configuration (static, stripped), the portable zubcd-<version>-win64.zip
# and the installer zubcd-<version>-setup.exe. The version is the project
# version of CMakeLists.txt.
#
# tools/release/release.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
source tools/lib.sh

WIN_BUILD=$ZUB_BUILD/win
RELEASE=$ZUB_BUILD/release
# README.md's sections for users, in this order, then the wire format.
USER_SECTIONS=("What it does" "The library" "Installing on Windows" "Remote control" "The web remote")
PROTOCOL_DOC=docs/remote-protocol.md

# win_has_target NAME: the Windows build defines the target. (grep reads
# all of the list: make must not end on a broken pipe.)
win_has_target() {
    cmake --build "$WIN_BUILD" --target help | grep -x "\.\.\. $1" >/dev/null
}

# define_value NAME: a string define of the generated version header.
define_value() {
    sed -n "s/^#define $1 \"\(.*\)\"\$/\1/p" "$WIN_BUILD/generated/zub_version.h"
}

# markdown_section TITLE: the lines of README.md's "## TITLE" section, the
# heading included; fails when there is none.
markdown_section() {
    awk -v title="## $1" '
        /^## / { inside = ($0 == title); if (inside) found = 1 }
        inside { print }
        END { exit !found }' README.md
}

# user_readme VERSION: README.txt, Windows line ends: README.md's title with
# the version, its user sections and the wire format, whose headings go one
# level down. Pictures are left out and links keep only their text; the link
# to the wire format points below.
user_readme() {
    local title protocol_title
    protocol_title=$(sed -n '1s/^# //p' "$PROTOCOL_DOC")
    {
        sed -n "1s/^# zubcd /# zubcd $1 /p" README.md
        echo
        for title in "${USER_SECTIONS[@]}"; do
            markdown_section "$title" || {
                zub_warn "README.md has no section '## $title'"
                return 1
            }
        done
        echo
        sed 's/^#/##/' "$PROTOCOL_DOC"
    } | sed -e '/^!\[/d' -e 's/\[\([^]]*\)\]([^)]*)/\1/g' \
        -e "s|$PROTOCOL_DOC|the section \"$protocol_title\" below|g" -e 's/$/\r/'
}

zub_ensure_packages

programs=(zubcd zubremote)
zub_build win -- "${programs[@]}"
if win_has_target zubweb; then
    programs+=(zubweb)
    cmake --build "$WIN_BUILD" -j "$ZUB_JOBS" --target zubweb
fi

version=$(define_value ZUB_VERSION)
publisher=$(define_value ZUB_PUBLISHER)
if [ -z "$version" ] || [ -z "$publisher" ]; then
    zub_warn "no version in $WIN_BUILD/generated/zub_version.h"
    exit 1
fi
name=zubcd-$version
stage=$RELEASE/$name
zip=$RELEASE/$name-win64.zip
setup=$RELEASE/$name-setup.exe

zub_say "release $version: $stage"
rm -rf "$stage" "$zip" "$setup"
mkdir -p "$stage"
for program in "${programs[@]}"; do
    x86_64-w64-mingw32-strip -o "$stage/$program.exe" "$WIN_BUILD/$program.exe"
done
user_readme "$version" >"$stage/README.txt"
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
cp demo/zub.txt "$stage/zub.txt"

(cd "$RELEASE" && zip -q -X -r "$zip" "$name")
makensis -V2 -DVERSION="$version" -DPUBLISHER="$publisher" -DSTAGE="$stage" \
    -DOUTFILE="$setup" tools/release/zubcd.nsi
ls -l "$zip" "$setup"
