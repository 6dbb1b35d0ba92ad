#!/usr/bin/env bash
# The web remote under Wine: zubcd.exe against the simulator, zubweb beside
# it, and headless Chromium at phone width (tests/e2e/web_page_check.py).
# The page shows the playing disc's artist and title (slot 1's catalogue
# line is in Windows-1252), Next makes the changer load, and once the
# program has ended the page says the controller is not reachable and
# /api/status answers 503 at once.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

ZUB_WEB=${ZUB_WEB:-$ZUB_BUILD/native/zubweb}
WEB_PID=""
PAGE_PID=""

web_finish() {
    local status=$?
    stop_process "$PAGE_PID"
    stop_process "$WEB_PID"
    (exit "$status")
    e2e_finish
}

# web_status_line PORT: the status line of GET /api/status.
web_status_line() {
    timeout 10 bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$1" &&
        printf "GET /api/status HTTP/1.0\r\n\r\n" >&3 && head -n 1 <&3' _ "$1" | tr -d '\r'
}

web_serving() { grep -q '^zubweb: serving http://' "$ZUB_RUN_DIR/zubweb.log"; }

# The page checks are ready for the stop, or have ended early.
page_ready_or_ended() { [ -f "$ZUB_RUN_DIR/web.ready" ] || ! proc_alive "$PAGE_PID"; }

e2e_begin web 360
trap web_finish EXIT
[ -x "$ZUB_WEB" ] || e2e_fail "no web remote at $ZUB_WEB"
/usr/bin/python3 -c 'import selenium' 2>/dev/null || e2e_fail "python3-selenium is missing"
[ -x /usr/bin/chromium ] && [ -x /usr/bin/chromedriver ] || e2e_fail "chromium or chromedriver missing"

work=$(e2e_workdir)
{
    printf 'Quill\xf3n R\xe9ed Ensemble\tSeven Rooms of Tin\r\n'
    tail -n +2 "$ZUB_CATALOGUE"
} >"$work/zub.txt"

e2e_start_sim
start_exe "$work" || e2e_fail "the program did not start"
wait_for_port 4239 60 || e2e_fail "nothing answers on TCP port 4239"
wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window '$MAIN_TITLE'"
e2e_scan
click_button "$MAIN_TITLE" "$IDC_RANDOM" || e2e_fail "could not click Random"
mark=$(log_mark)
remote track 1 1 || e2e_fail "the remote could not send 'track 1 1'"
wait_for_run "$mark" 20 "01 LOAD A01" "04 TRACK A01" "10 PLAY" "07 AUTOPAUSE_ON" ||
    e2e_fail "'track 1 1' did not play disc 1"

"$ZUB_WEB" --listen 127.0.0.1:0 </dev/null >"$ZUB_RUN_DIR/zubweb.log" 2>&1 &
WEB_PID=$!
wait_until 20 "zubweb to listen" web_serving || e2e_fail "zubweb did not start"
url=$(sed -n 's/^zubweb: serving \(http:[^ ]*\) .*/\1/p' "$ZUB_RUN_DIR/zubweb.log" | head -n 1)
port=$(sed -E 's|.*:([0-9]+)/$|\1|' <<<"$url")
e2e_log "zubweb serves $url"

/usr/bin/python3 "$E2E_ROOT/tests/e2e/web_page_check.py" "$url" "$ZUB_SIM_LOG" "$work/zub.txt" \
    "$ZUB_RUN_DIR/web-phone.png" "$ZUB_RUN_DIR/web.ready" "$ZUB_RUN_DIR/web.stopped" \
    </dev/null >"$ZUB_RUN_DIR/web_page_check.log" 2>&1 &
PAGE_PID=$!
wait_until 150 "the page checks up to the stop" page_ready_or_ended || true
if [ ! -f "$ZUB_RUN_DIR/web.ready" ]; then
    cat "$ZUB_RUN_DIR/web_page_check.log" >&2
    e2e_fail "the page checks failed before the stop"
fi
e2e_log "ok: the page showed the playing disc and Next loaded a disc"

probe close "$MAIN_TITLE" >/dev/null || e2e_fail "could not close the window"
wait_for_exit 30 || e2e_fail "the program did not end after its window was closed"
touch "$ZUB_RUN_DIR/web.stopped"
status=0
wait "$PAGE_PID" || status=$?
PAGE_PID=""
cat "$ZUB_RUN_DIR/web_page_check.log" >&2
check "the page checks passed" test "$status" = 0

start=$SECONDS
line=$(web_status_line "$port") || true
check "GET /api/status answers 503 without the controller (got '$line')" \
    grep -q '^HTTP/1\.1 503' <<<"$line"
check "within 5 s" test $((SECONDS - start)) -le 5
e2e_pass
