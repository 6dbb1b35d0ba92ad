# The main window as the harness finds it: its title, and one shell variable
# per control id (IDC_PLAY=1005, ...) read from resources/resource_ids.h, the
# ids the program is built with. Sourced by the Wine harness (bash).
# shellcheck shell=bash

# The layout's title with the port the program appends.
MAIN_TITLE="ZUB CD Changer #0 on COM1"

while read -r _ name value; do
    printf -v "$name" '%s' "$value"
done < <(awk '$1 == "#define" && $2 ~ /^IDC_/ && $3 ~ /^[0-9]+$/ { print }' \
    "$ZUB_ROOT/resources/resource_ids.h")
