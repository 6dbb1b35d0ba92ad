#!/usr/bin/env bash
# The release under Wine, in a fresh prefix of its own: the zip's file list;
# a silent install (files, Start menu shortcut, uninstall key, version); the
# installed zubcd.exe started in the shortcut's working folder sends its first
# frame on COM1; an install over a changed zub.txt keeps it; a silent
# uninstall removes the programs, the shortcut and the key and keeps zub.txt.
# Needs tools/release/release.sh's output and the native simulator.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
ZUB_BUILD=${ZUB_BUILD:-$(cd "$here/../.." && pwd)/build}
ZUB_WINEPREFIX=$ZUB_BUILD/release-wineprefix
# shellcheck source=../e2e/e2e_lib.sh
source "$here/../e2e/e2e_lib.sh"

WIN_BUILD=$ZUB_BUILD/win
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\zubcd'

version=$(sed -n 's/^#define ZUB_VERSION "\(.*\)"$/\1/p' "$WIN_BUILD/generated/zub_version.h")
name=zubcd-$version
zip=$ZUB_BUILD/release/$name-win64.zip
setup=$ZUB_BUILD/release/$name-setup.exe
programs=(zubcd.exe zubremote.exe)
# zubweb belongs to the release once the tree defines it.
if grep -rqsE --include=CMakeLists.txt --exclude-dir=build 'add_executable\(\s*zubweb\b' "$E2E_ROOT"; then
    programs+=(zubweb.exe)
fi

# The entries the zip should hold, in any order.
expected_zip_list() {
    printf '%s/\n' "$name"
    printf "$name/%s\n" "${programs[@]}" LICENSE.txt README.txt zub.txt
}

# wine_output COMMAND...: a console program's output under Wine, without CRs.
# It goes through a file: a wineserver started by the call must not keep the
# caller's pipe open.
wine_output() {
    local out=$ZUB_RUN_DIR/wine.out
    timeout "$ZUB_WINE_TIMEOUT" wine "$@" </dev/null >"$out" 2>/dev/null || return 1
    tr -d '\r' <"$out"
}

# wine_path_u WINDOWS-PATH: the Unix path of a path in the prefix.
wine_path_u() {
    local out=$ZUB_RUN_DIR/winepath.out
    timeout "$ZUB_WINE_TIMEOUT" winepath -u "$1" </dev/null >"$out" 2>/dev/null || return 1
    tr -d '\r' <"$out"
}

# reg_value NAME: a value of the uninstall key as "TYPE DATA".
reg_value() {
    wine_output reg query "$UNINSTALL_KEY" /v "$1" |
        awk -v name="$1" '$1 == name { $1 = ""; sub(/^ +/, ""); print }'
}

# The uninstall keys can be listed and zubcd's is not among them.
key_absent() {
    local keys
    keys=$(wine_output reg query "${UNINSTALL_KEY%\\*}") || return 1
    ! grep -qi '\\zubcd$' <<<"$keys"
}

# run_setup ARGS...: the installer, silent; fails on a non-zero exit.
run_setup() {
    local status=0
    timeout 300 wine "$setup" "$@" </dev/null >>"$ZUB_RUN_DIR/setup.log" 2>&1 || status=$?
    ((status == 0)) || e2e_log "setup exited with $status"
    return "$status"
}

installed_files() { find "$install_dir" -mindepth 1 -maxdepth 1 -printf '%f\n' | sort; }

zip_holds() {
    [ -f "$zip" ] && [ "$(unzip -Z1 "$zip" | sort)" = "$(expected_zip_list | sort)" ]
}

# README.txt in the zip: the warning on the ports without authentication.
readme_warns() {
    local readme
    readme=$(unzip -p "$zip" "$name/README.txt")
    grep -q 'No authentication' <<<"$readme" && grep -q 8080 <<<"$readme" &&
        grep -q '^## The library' <<<"$readme"
}

if [ ! -f "$setup" ] || [ ! -f "$zip" ]; then
    echo "no release in $ZUB_BUILD/release: run tools/release/release.sh first" >&2
    exit 1
fi

# A fresh prefix: what an earlier run installed must not count.
if [ -d "$ZUB_WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$ZUB_WINEPREFIX"
fi
# e2e_begin asks for a Windows program: the one under test is the installer.
# shellcheck disable=SC2034  # read by e2e_lib.sh
ZUB_WIN_EXE=$setup
e2e_begin release 900

check "the zip holds $name/ with ${programs[*]}, LICENSE.txt, README.txt, zub.txt" zip_holds
check "README.txt warns that ports 4239 and 8080 have no authentication, tells of the library" \
    readme_warns

# --- install ----------------------------------------------------------------
check "the silent install succeeds" run_setup /S
install_dir=$(wine_path_u 'C:\Program Files\zubcd')
appdata=$(wine_path_u "$(wine_output cmd /c echo %APPDATA%)")
data_dir=$appdata/zubcd
shortcut="$appdata/Microsoft/Windows/Start Menu/Programs/zubcd.lnk"
want_files=$(printf '%s\n' "${programs[@]}" LICENSE.txt README.txt uninstall.exe | sort)
check "Program Files\\zubcd holds ${want_files//$'\n'/ }" test "$(installed_files)" = "$want_files"
check "the sample zub.txt is in $data_dir" cmp -s "$E2E_ROOT/demo/zub.txt" "$data_dir/zub.txt"
check "the Start menu holds the shortcut" test -f "$shortcut"

mapfile -t link < <(python3 "$here/read_shortcut.py" "$shortcut")
check "the shortcut starts C:\\Program Files\\zubcd\\zubcd.exe (got '${link[0]:-}')" \
    test "${link[0]:-}" = 'C:\Program Files\zubcd\zubcd.exe'
link_dir=$(wine_path_u "${link[1]:-}")
check "the shortcut's working folder is the data folder (got '${link[1]:-}')" \
    test -n "$link_dir" -a "$link_dir" -ef "$data_dir"

check "the uninstall key names the version" test "$(reg_value DisplayVersion)" = "REG_SZ $version"
check "the uninstall key's command is the installed uninstaller" \
    test "$(reg_value UninstallString)" = 'REG_SZ "C:\Program Files\zubcd\uninstall.exe"'
check "zubremote --version prints $version" \
    test "$(wine_output "$install_dir/zubremote.exe" --version)" = "zubremote $version"

# --- the installed program in the shortcut's working folder ------------------
e2e_start_sim
start_exe "$link_dir" "$install_dir/zubcd.exe" || e2e_fail "the installed program did not start"
wait_for_log '^[0-9.]+ 02 ' 90 || e2e_fail "no frame reached COM1"
first=$(awk 'NR == 1 { print $2, $3 }' "$ZUB_SIM_LOG")
check "the first frame on COM1 is 02 STOP (got '$first')" test "$first" = "02 STOP"
wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window '$MAIN_TITLE'"
e2e_exit
wine_settle
check "the program keeps its library in $data_dir" test -s "$data_dir/zubcd.db"
cp "$data_dir/zubcd.db" "$ZUB_RUN_DIR/library.db"

# --- update over the user's catalogue, then uninstall ------------------------
printf 'Own Artist\tOwn Title\n' >"$data_dir/zub.txt"
cp "$data_dir/zub.txt" "$ZUB_RUN_DIR/own-zub.txt"
check "a second silent install succeeds" run_setup /S
check "the second install kept the user's zub.txt" cmp -s "$ZUB_RUN_DIR/own-zub.txt" "$data_dir/zub.txt"

timeout 300 wine "$install_dir/uninstall.exe" /S </dev/null >"$ZUB_RUN_DIR/uninstall.log" 2>&1 ||
    e2e_fail "the silent uninstall failed"
# The uninstaller works from a copy in the temporary folder: wait for it.
wine_settle
check "Program Files\\zubcd is gone" test ! -e "$install_dir"
check "the shortcut is gone" test ! -e "$shortcut"
check "the uninstall key is gone" key_absent
check "the user's zub.txt is kept" cmp -s "$ZUB_RUN_DIR/own-zub.txt" "$data_dir/zub.txt"
check "the library zubcd.db is kept" cmp -s "$ZUB_RUN_DIR/library.db" "$data_dir/zubcd.db"
e2e_pass
