#!/usr/bin/env bash
# One web remote for two copies of the program under Wine: changer #0 on
# COM1 with the remote on TCP port 4239, changer #1 on COM3 with the remote
# on 4240, each against a simulator of its own, and one zubweb for both
# opened in headless Chromium at phone width (tests/e2e/web_tabs_check.py).
# The page has a tab per changer; Next on the second tab makes only the
# second simulator log a LOAD; once the first copy has ended only the first
# tab says "controller not reachable", and the API answers the same.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

FIRST_TITLE="ZUB CD Changer #0 on COM1"
SECOND_TITLE="ZUB CD Changer #1 on COM3"
SECOND_NAME="Second changer"
ZUB_WEB=${ZUB_WEB:-$ZUB_BUILD/native/zubweb}
WEB_PID=""
PAGE_PID=""

web_finish() {
    local status=$?
    stop_process "$PAGE_PID"
    stop_process "$WEB_PID"
    e2e_finish "$status"
}

# launch NAME WORKDIR ARG...: one more copy of the program, its output in
# $ZUB_RUN_DIR/NAME.log; the teardown's end of Wine's server ends it.
launch() {
    local name=$1 workdir=$2
    shift 2
    (cd "$workdir" && exec wine "$(realpath "$ZUB_WIN_EXE")" "$@") \
        </dev/null >"$ZUB_RUN_DIR/$name.log" 2>&1 &
    harness_log "copy $name started with $*"
}

# web_get PORT PATH: the reply to GET PATH, headers and body.
web_get() {
    timeout 10 bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$1" &&
        printf "GET %s HTTP/1.0\r\n\r\n" "$2" >&3 && cat <&3' _ "$1" "$2" | tr -d '\r'
}

web_serving() { grep -q '^zubweb: serving http://' "$1"; }
web_port() { sed -n 's|^zubweb: serving http://[^ ]*:\([0-9]*\)/ .*|\1|p' "$1" | head -n 1; }

# changers_reachable PORT FIRST SECOND: /api/changers says so of each.
changers_reachable() {
    local list
    list=$(web_get "$1" /api/changers | tail -n 1)
    grep -q "\"index\":0,[^}]*\"reachable\":$2" <<<"$list" &&
        grep -q "\"index\":1,[^}]*\"reachable\":$3" <<<"$list"
}

has_load_since() { tail -n +"$(($2 + 1))" "$1" | awk '$2 == "01"' | grep -q .; }

scan_done_on() { button_enabled "$1" "$IDC_RANDOM" && button_enabled "$1" "$IDC_NEXT"; }

both_scans_done() { scan_done_on "$FIRST_TITLE" && scan_done_on "$SECOND_TITLE"; }

page_ready_or_ended() { [ -f "$ZUB_RUN_DIR/web.ready" ] || ! proc_alive "$PAGE_PID"; }

e2e_begin web_two_changers 390
trap web_finish EXIT
[ -x "$ZUB_WEB" ] || e2e_fail "no web remote at $ZUB_WEB"
[ -x "$ZUB_REMOTE" ] || e2e_fail "no remote client at $ZUB_REMOTE"
/usr/bin/python3 -c 'import selenium' 2>/dev/null || e2e_fail "python3-selenium is missing"
[ -x /usr/bin/chromium ] && [ -x /usr/bin/chromedriver ] || e2e_fail "chromium or chromedriver missing"

e2e_start_sim
start_extra_sim second COM3 --magazine "$ZUB_MAGAZINE" || e2e_fail "no second simulator"
SECOND_LOG=$ZUB_RUN_DIR/second.log
first_work=$(e2e_workdir)
second_work=$ZUB_RUN_DIR/work-second
mkdir -p "$second_work"
cp "$first_work/zub.txt" "$second_work/" 2>/dev/null || true

launch first "$first_work" --port COM1
launch second "$second_work" --port COM3 --changer 1 --remote-port 4240
wait_for_window "$FIRST_TITLE" 90 || e2e_fail "no window '$FIRST_TITLE'"
wait_for_window "$SECOND_TITLE" 90 || e2e_fail "no window '$SECOND_TITLE'"
wait_for_port 4239 60 || e2e_fail "nothing answers on TCP port 4239"
wait_for_port 4240 60 || e2e_fail "nothing answers on TCP port 4240"
e2e_log "ok: both copies run, TCP ports 4239 and 4240 answer"

# Both changers play, scanned and in random play (Random starts playing): a
# Next that went to the wrong one would load a disc there. The windows lie on top of each other:
# the buttons are pressed by command.
for title in "$FIRST_TITLE" "$SECOND_TITLE"; do
    probe command "$title" "$IDC_SCAN" >/dev/null || e2e_fail "could not press Scan on '$title'"
done
wait_until 240 "both scans to end" both_scans_done || e2e_fail "the scans did not end"
first_mark=$(log_mark)
second_mark=$(wc -l <"$SECOND_LOG")
for title in "$FIRST_TITLE" "$SECOND_TITLE"; do
    probe command "$title" "$IDC_RANDOM" >/dev/null || e2e_fail "could not press Random on '$title'"
done
wait_until 20 "a LOAD on the first changer" has_load_since "$ZUB_SIM_LOG" "$first_mark" ||
    e2e_fail "the first changer got no LOAD"
wait_until 20 "a LOAD on the second changer" has_load_since "$SECOND_LOG" "$second_mark" ||
    e2e_fail "the second changer got no LOAD"
e2e_log "ok: both changers play"

"$ZUB_WEB" --remote 127.0.0.1:4239 --remote "$SECOND_NAME=127.0.0.1:4240" \
    --listen 127.0.0.1:0 </dev/null >"$ZUB_RUN_DIR/zubweb.log" 2>&1 &
WEB_PID=$!
wait_until 20 "zubweb to listen" web_serving "$ZUB_RUN_DIR/zubweb.log" ||
    e2e_fail "zubweb did not start"
port=$(web_port "$ZUB_RUN_DIR/zubweb.log")
url=http://127.0.0.1:$port/
e2e_log "zubweb serves $url for both"
wait_until 20 "both changers reachable in /api/changers" changers_reachable "$port" true true ||
    e2e_fail "/api/changers does not list both changers reachable"
e2e_log "ok: /api/changers lists both changers reachable"

/usr/bin/python3 "$E2E_ROOT/tests/e2e/web_tabs_check.py" "$url" 127.0.0.1:4239 "$SECOND_NAME" \
    "$ZUB_SIM_LOG" "$SECOND_LOG" "$ZUB_RUN_DIR/web-two-tabs.png" "$ZUB_RUN_DIR/web.ready" \
    "$ZUB_RUN_DIR/web.stopped" </dev/null >"$ZUB_RUN_DIR/web_tabs_check.log" 2>&1 &
PAGE_PID=$!
wait_until 150 "the page checks up to the stop" page_ready_or_ended || true
if [ ! -f "$ZUB_RUN_DIR/web.ready" ]; then
    cat "$ZUB_RUN_DIR/web_tabs_check.log" >&2
    e2e_fail "the page checks failed before the first copy was closed"
fi
e2e_log "ok: a tab per changer, and Next on the second loaded the second changer only"

probe close "$FIRST_TITLE" >/dev/null || e2e_fail "could not close the first copy's window"
wait_for_window_gone "$FIRST_TITLE" 30 || e2e_fail "the first copy's window stayed"
wait_until 30 "TCP port 4239 to close" port_free 4239 || e2e_fail "4239 still listens"
touch "$ZUB_RUN_DIR/web.stopped"
status=0
wait "$PAGE_PID" || status=$?
PAGE_PID=""
cat "$ZUB_RUN_DIR/web_tabs_check.log" >&2
check "the page checks passed" test "$status" = 0

wait_until 10 "/api/changers to list the first changer unreachable" \
    changers_reachable "$port" false true || e2e_fail "/api/changers did not follow"
e2e_log "ok: /api/changers lists only the first changer unreachable"
line=$(web_get "$port" /api/changers/0/status | head -n 1) || true
check "GET /api/changers/0/status answers 503 (got '$line')" grep -q '^HTTP/1\.1 503' <<<"$line"
line=$(web_get "$port" /api/changers/1/status | head -n 1) || true
check "GET /api/changers/1/status answers 200 (got '$line')" grep -q '^HTTP/1\.1 200' <<<"$line"
line=$(web_get "$port" /api/changers/2/status | head -n 1) || true
check "GET /api/changers/2/status answers 404 (got '$line')" grep -q '^HTTP/1\.1 404' <<<"$line"
screenshot web-two-changers
e2e_pass
