#!/usr/bin/env bash
# The web remote under Wine: zubcd.exe against the simulator, zubweb beside
# it, and headless Chromium at phone width (tests/e2e/web_page_check.py).
# The page shows the playing disc's artist and title (slot 1's catalogue
# line is in Windows-1252), its filter leaves only the rows holding part of
# an artist, an artist edited on the page is in zub.txt and in `zubremote
# discs`, Next makes the changer load, and once the
# program has ended the page says the controller is not reachable and
# /api/status answers 503 at once. zubweb.exe, when built, serves the
# status under Wine too.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

ZUB_WEB=${ZUB_WEB:-$ZUB_BUILD/native/zubweb}
ZUB_WEB_EXE=${ZUB_WEB_EXE:-$(dirname "$ZUB_WIN_EXE")/zubweb.exe}
WEB_PID=""
WEB_EXE_PID=""
PAGE_PID=""

web_finish() {
    local status=$?
    stop_process "$PAGE_PID"
    stop_process "$WEB_PID"
    stop_process "$WEB_EXE_PID"
    e2e_finish "$status"
}

# web_status PORT: the reply to GET /api/status, headers and body.
web_status() {
    timeout 10 bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$1" &&
        printf "GET /api/status HTTP/1.0\r\n\r\n" >&3 && cat <&3' _ "$1" | tr -d '\r'
}

# web_serving LOG: the zubweb writing LOG listens.
web_serving() { grep -q '^zubweb: serving http://' "$1"; }

# web_port LOG: the port it listens on.
web_port() { sed -n 's|^zubweb: serving http://[^ ]*:\([0-9]*\)/ .*|\1|p' "$1" | head -n 1; }

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
wait_until 20 "zubweb to listen" web_serving "$ZUB_RUN_DIR/zubweb.log" ||
    e2e_fail "zubweb did not start"
port=$(web_port "$ZUB_RUN_DIR/zubweb.log")
url=http://127.0.0.1:$port/
e2e_log "zubweb serves $url"

if [ -f "$ZUB_WEB_EXE" ]; then
    wine "$ZUB_WEB_EXE" --listen 127.0.0.1:0 </dev/null >"$ZUB_RUN_DIR/zubweb-exe.log" 2>&1 &
    WEB_EXE_PID=$!
    wait_until 60 "zubweb.exe to listen" web_serving "$ZUB_RUN_DIR/zubweb-exe.log" ||
        e2e_fail "zubweb.exe did not start under Wine"
    exe_port=$(web_port "$ZUB_RUN_DIR/zubweb-exe.log")
    exe_reachable() { web_status "$exe_port" | grep -q '"reachable":true'; }
    wait_until 20 "zubweb.exe to reach the controller" exe_reachable ||
        e2e_fail "zubweb.exe under Wine does not serve the status"
    e2e_log "ok: zubweb.exe under Wine serves the status on port $exe_port"
    stop_process "$WEB_EXE_PID"
    WEB_EXE_PID=""
else
    e2e_log "no $ZUB_WEB_EXE: the Windows build left zubweb.exe out"
fi

/usr/bin/python3 "$E2E_ROOT/tests/e2e/web_page_check.py" "$url" "$ZUB_SIM_LOG" "$work/zub.txt" \
    "$ZUB_RUN_DIR/web-phone.png" "$ZUB_RUN_DIR/web.ready" "$ZUB_RUN_DIR/web.stopped" \
    </dev/null >"$ZUB_RUN_DIR/web_page_check.log" 2>&1 &
PAGE_PID=$!
wait_until 150 "the page checks up to the stop" page_ready_or_ended || true
if [ ! -f "$ZUB_RUN_DIR/web.ready" ]; then
    cat "$ZUB_RUN_DIR/web_page_check.log" >&2
    e2e_fail "the page checks failed before the stop"
fi
e2e_log "ok: the page showed the playing disc, filtered, edited an artist and Next loaded a disc"
check "zubremote discs shows the artist edited on the page" \
    grep -q "Edited Through The Page" <<<"$(remote discs)"

probe close "$MAIN_TITLE" >/dev/null || e2e_fail "could not close the window"
wait_for_exit 30 || e2e_fail "the program did not end after its window was closed"
touch "$ZUB_RUN_DIR/web.stopped"
status=0
wait "$PAGE_PID" || status=$?
PAGE_PID=""
cat "$ZUB_RUN_DIR/web_page_check.log" >&2
check "the page checks passed" test "$status" = 0

start=$SECONDS
line=$(web_status "$port" | head -n 1) || true
check "GET /api/status answers 503 without the controller (got '$line')" \
    grep -q '^HTTP/1\.1 503' <<<"$line"
check "within 5 s" test $((SECONDS - start)) -le 5
e2e_pass
