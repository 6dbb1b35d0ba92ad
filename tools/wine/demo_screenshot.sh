#!/usr/bin/env bash
# Takes the README's pictures: the program with the demo magazine scanned and
# the shuffle player running, cropped to the window with its title bar (a
# window manager runs on the private display), into docs/screenshot.png;
# then the web remote's page at phone width into docs/web-screenshot.png.
# Needs the native and Windows builds (./test or ./run makes them).
set -euo pipefail
source "$(dirname "$0")/../../tests/e2e/e2e_lib.sh"

polls_since() { (($(log_since "$1" | grep -c '^16 STATUS') >= $2)); }

web_pid=""
shot_finish() {
    local status=$?
    stop_process "$web_pid"
    e2e_finish "$status"
}

e2e_begin demo-screenshot 300
trap shot_finish EXIT
start_window_manager
e2e_start_sim --speed 1
start_exe "$(e2e_workdir)" || e2e_fail "the program did not start"
wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window '$MAIN_TITLE'"
e2e_scan
click_row "$MAIN_TITLE" "$IDC_DISCLIST" 11 || true
click_button "$MAIN_TITLE" "$IDC_RANDOM" || e2e_fail "could not click Random"
mark=$(log_mark)
wait_until 30 "a few status polls" polls_since "$mark" 3 || e2e_fail "no status polls"
window=$(window_ids "$MAIN_TITLE" | head -n 1)
mkdir -p "$ZUB_ROOT/docs"
# With the window manager's frame: the title bar is part of the picture.
import -display "$DISPLAY" -frame -window "$window" "$ZUB_ROOT/docs/screenshot.png"
e2e_log "wrote docs/screenshot.png"

web=${ZUB_WEB:-$ZUB_BUILD/native/zubweb}
"$web" --listen 127.0.0.1:0 </dev/null >"$ZUB_RUN_DIR/zubweb.log" 2>&1 &
web_pid=$!
web_serving() { grep -q '^zubweb: serving' "$ZUB_RUN_DIR/zubweb.log"; }
wait_until 20 "zubweb to listen" web_serving || e2e_fail "zubweb did not start"
url=$(sed -n 's/^zubweb: serving \(http:[^ ]*\) .*/\1/p' "$ZUB_RUN_DIR/zubweb.log")
/usr/bin/python3 "$ZUB_ROOT/tests/e2e/web_screenshot.py" "$url" "$ZUB_ROOT/docs/web-screenshot.png" ||
    e2e_fail "no picture of the web page"
e2e_log "wrote docs/web-screenshot.png"
e2e_exit
e2e_pass
