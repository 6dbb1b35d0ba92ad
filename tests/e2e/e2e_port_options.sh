#!/usr/bin/env bash
# The command line under Wine. --port COM3 with the changer on COM3 and
# nothing behind COM1: the program talks to COM3 and its title says so.
# --port COM9 with nothing behind it: the box names the port and the serial
# ports the registry lists, and no host serial device is opened. A bad
# option: a box with the problem and the usage, exit code 2, no port opened
# and nothing listening. --help: the usage in a box, exit code 0.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

SERIAL_LIST='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM'

polled() { (($(grep -c '^[0-9.]* 16 ' "$ZUB_SIM_LOG") >= $1)); }

# The serial ports the registry lists, as the test sets them. The list is a
# volatile key that Wine fills when its server starts, so the server is kept
# running (-p) until teardown ends it, and only the key's values change.
set_serial_list() {
    wine_settle
    wineserver -p </dev/null >/dev/null 2>&1
    wine_quiet reg delete "$SERIAL_LIST" /va /f || true
    local entry
    for entry in "Serial0 COM12" "Serial1 COM3" "Serial2 COM5" "Parallel LPT1"; do
        wine_quiet reg add "$SERIAL_LIST" /v "\\Device\\${entry% *}" /d "${entry#* }" /f ||
            e2e_fail "could not write $SERIAL_LIST"
    done
}

# No process of this prefix (the program, Wine's server) holds a host serial
# device open.
no_host_serial_open() {
    local dir
    for dir in /proc/[0-9]*; do
        tr '\0' '\n' <"$dir/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$ZUB_WINEPREFIX" ||
            continue
        if find "$dir/fd" -maxdepth 1 -lname '/dev/tty[SUA]*' 2>/dev/null | grep -q .; then
            harness_log "$dir holds a host serial device"
            return 1
        fi
    done
}

# box_has_line TEXT: a line of the text of the box last read is TEXT (the probe prints
# the text's first line in its third field, further lines on lines of their
# own).
box_has_line() {
    awk -F '\t' -v want="$1" '$1 == want || $3 == want { found = 1 } END { exit !found }' \
        <<<"$box"
}

e2e_begin port_options 300

# --- the changer on COM3 ----------------------------------------------------
e2e_start_sim
point_port COM3 "$ZUB_SIM_PTY"
com1_absent
start_exe "$(e2e_workdir)" "" --port COM3 || e2e_fail "the program did not start"
title="ZUB CD Changer #0 on COM3"
wait_for_window "$title" 60 || e2e_fail "no window '$title'"
e2e_log "ok: the window '$title' is shown"
first=$(awk 'NR == 1 { print $2, $3 }' "$ZUB_SIM_LOG")
check "the first command on COM3 is 02 STOP (got '$first')" test "$first" = "02 STOP"
wait_until 30 "three status polls on COM3" polled 3 || e2e_fail "no status poll on COM3"
e2e_log "ok: the status poll runs on COM3"
wait_for_port 4239 30 || e2e_fail "nothing answers on TCP port 4239"
screenshot com3
click_button "$title" "$IDC_EXIT" || e2e_fail "could not click Exit"
wait_for_exit 30 || e2e_fail "the program did not end after Exit"
check "the exit code is 0 (got $ZUB_EXE_RC)" test "$ZUB_EXE_RC" = 0

# --- COM9: no device behind it ----------------------------------------------
port_absent COM9
set_serial_list
start_exe "$(e2e_workdir)" "" --port COM9 || e2e_fail "the program did not start"
wait_for_window Error 60 || e2e_fail "no box titled 'Error'"
screenshot no-such-port
box=$(probe children Error) || e2e_fail "the probe cannot read the box"
printf '%s\n' "$box" >"$ZUB_RUN_DIR/com9-box.txt"
check "the box says 'Port COM9 in use.'" box_has_line "Port COM9 in use."
check "the box names the listed serial ports" box_has_line \
    "This computer's serial ports: COM3, COM5, COM12. Choose one with --port, for example --port COM3."
check "no host serial device is open" no_host_serial_open
check "nothing listens on TCP port 4239" port_free 4239
click_button Error 1 || e2e_fail "could not click OK"
wait_for_exit 30 || e2e_fail "the program did not end after OK"
check "the exit code is 0 (got $ZUB_EXE_RC)" test "$ZUB_EXE_RC" = 0

# --- a bad option, --help ----------------------------------------------------
point_port COM1 "$ZUB_SIM_PTY"
mark=$(log_mark)
start_exe "$(e2e_workdir)" "" --port COM1 --changer 100 || e2e_fail "the program did not start"
wait_for_window Error 60 || e2e_fail "no box titled 'Error'"
box=$(probe children Error) || e2e_fail "the probe cannot read the box"
printf '%s\n' "$box" >"$ZUB_RUN_DIR/bad-option-box.txt"
check "the box names the option and the problem" box_has_line \
    "--changer: 100 is above the largest changer number, 99"
check "the box shows the usage" grep -q 'Usage: zubcd.exe \[--port COMn\]' <<<"$box"
check "nothing listens on TCP port 4239" port_free 4239
check "no main window" window_absent "$MAIN_TITLE"
click_button Error 1 || e2e_fail "could not click OK"
wait_for_exit 30 || e2e_fail "the program did not end after OK"
check "the exit code is 2 (got $ZUB_EXE_RC)" test "$ZUB_EXE_RC" = 2
check "no frame reached the changer" test "$(log_mark)" = "$mark"

start_exe "$(e2e_workdir)" "" --help || e2e_fail "the program did not start"
wait_for_window "ZUB CD Changer" 60 || e2e_fail "no box with the usage"
box=$(probe children "ZUB CD Changer") || e2e_fail "the probe cannot read the box"
check "the box shows the usage" grep -q 'Usage: zubcd.exe \[--port COMn\]' <<<"$box"
click_button "ZUB CD Changer" 1 || e2e_fail "could not click OK"
wait_for_exit 30 || e2e_fail "the program did not end after OK"
check "the exit code is 0 (got $ZUB_EXE_RC)" test "$ZUB_EXE_RC" = 0
check "no frame reached the changer" test "$(log_mark)" = "$mark"
e2e_pass
