#!/usr/bin/env bash
# The remotes during a slow scan (1.5 s a load) under Wine: a page kept open
# through the whole scan never says "controller not reachable" and shows the
# progress (tests/e2e/web_scan_watch.py); the program's remote sessions stay
# at their count before the scan; 70 disc-list clients during the scan,
# then the position answers within 1 s; Next during the scan, then the
# status answers within 1 s and shows the scan; the web remote answers 409
# to Play and 202 to Next meanwhile; after the scan, 20 quick reloads of
# the page leave it live within 12 s.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

ZUB_WEB=${ZUB_WEB:-$ZUB_BUILD/native/zubweb}
WEB_PID=""
PAGE_PID=""

web_scan_finish() {
    local status=$?
    stop_process "$PAGE_PID"
    stop_process "$WEB_PID"
    e2e_finish "$status"
}

web_serving() { grep -q '^zubweb: serving http://' "$1"; }
web_port() { sed -n 's|^zubweb: serving http://[^ ]*:\([0-9]*\)/ .*|\1|p' "$1" | head -n 1; }
page_ready_or_ended() { [ -f "$ZUB_RUN_DIR/page.ready" ] || ! proc_alive "$PAGE_PID"; }

# The program's connections on TCP port 4239, the half-closed included.
sessions_now() { ss -Htn state established state close-wait '( sport = :4239 )' | wc -l; }
sessions_at_most() { (($(sessions_now) <= $1)); }
sessions_steady() {
    local first
    first=$(sessions_now) && sleep 1 && [ "$first" = "$(sessions_now)" ]
}

# ms_since START_NS: milliseconds since a $(date +%s%N).
ms_since() { echo $((($(date +%s%N) - $1) / 1000000)); }

# answers_within MS COMMAND...: zubremote answers COMMAND within MS; its
# output goes to $ZUB_RUN_DIR/answer.txt.
answers_within() {
    local limit=$1 start took
    shift
    start=$(date +%s%N)
    "$ZUB_REMOTE" --timeout "$limit" "$@" >"$ZUB_RUN_DIR/answer.txt" 2>&1 || {
        e2e_log "zubremote $*: $(cat "$ZUB_RUN_DIR/answer.txt")"
        return 1
    }
    took=$(ms_since "$start")
    e2e_log "zubremote $* answered in $took ms"
    ((took <= limit))
}

scanning_now() { remote status | grep -q '^scanning slot '; }

# web_post PORT BODY: "BODY STATUS" of POST /api/command.
web_post() {
    /usr/bin/python3 - "$1" "$2" <<'PY'
import sys, urllib.error, urllib.request
request = urllib.request.Request(f"http://127.0.0.1:{sys.argv[1]}/api/command",
                                 data=sys.argv[2].encode(),
                                 headers={"Content-Type": "application/json"})
try:
    with urllib.request.urlopen(request, timeout=10) as reply:
        print(reply.read().decode(), reply.status)
except urllib.error.HTTPError as error:
    print(error.read().decode(), error.code)
PY
}

e2e_begin web_scan 390
trap web_scan_finish EXIT
[ -x "$ZUB_WEB" ] || e2e_fail "no web remote at $ZUB_WEB"
/usr/bin/python3 -c 'import selenium' 2>/dev/null || e2e_fail "python3-selenium is missing"
command -v ss >/dev/null || e2e_fail "ss (iproute2) is missing"

e2e_start_sim --load-delay 1500
start_exe "$(e2e_workdir)" || e2e_fail "the program did not start"
wait_for_port 4239 60 || e2e_fail "nothing answers on TCP port 4239"
wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window '$MAIN_TITLE'"

"$ZUB_WEB" --listen 127.0.0.1:0 </dev/null >"$ZUB_RUN_DIR/zubweb.log" 2>&1 &
WEB_PID=$!
wait_until 20 "zubweb to listen" web_serving "$ZUB_RUN_DIR/zubweb.log" || e2e_fail "zubweb did not start"
port=$(web_port "$ZUB_RUN_DIR/zubweb.log")

/usr/bin/python3 "$E2E_ROOT/tests/e2e/web_scan_watch.py" "http://127.0.0.1:$port/" \
    "$ZUB_RUN_DIR/page.ready" "$ZUB_RUN_DIR/page.stop" </dev/null >"$ZUB_RUN_DIR/page.log" 2>&1 &
PAGE_PID=$!
wait_until 60 "the page to be live" page_ready_or_ended || true
[ -f "$ZUB_RUN_DIR/page.ready" ] || {
    cat "$ZUB_RUN_DIR/page.log" >&2
    e2e_fail "the page did not become live"
}
wait_until 20 "the remote sessions to settle" sessions_steady || e2e_fail "the sessions did not settle"
before=$(sessions_now)
e2e_log "remote sessions before the scan: $before"

click_button "$MAIN_TITLE" "$IDC_SCAN" || e2e_fail "could not click Scan"
wait_until 30 "zubremote status to show the scan" scanning_now || e2e_fail "the status shows no scan"
e2e_log "ok: zubremote status shows the scan"

# The page alone through part of the scan: its disc-list reloads leave no session behind.
sleep_until=$((SECONDS + 10))
wait_until 20 "ten seconds of the scan" test "$SECONDS" -ge "$sleep_until" || true
check "the sessions stay at $before during the scan (now $(sessions_now))" sessions_at_most "$before"

pids=()
for _ in $(seq 70); do
    remote discs >/dev/null 2>&1 &
    pids+=($!)
done
failed=0
for pid in "${pids[@]}"; do wait "$pid" || failed=$((failed + 1)); done
check "70 disc-list clients during the scan all got the list ($failed did not)" test "$failed" = 0
check "then zubremote position answers within 1 s" answers_within 1000 position
wait_until 20 "the sessions to come back to $before" sessions_at_most "$before" ||
    e2e_fail "the sessions did not come back: $(sessions_now), $before before"

play=$(web_post "$port" '{"command": "play"}')
check "POST play during the scan answers 409 (got '$play')" grep -q 'the changer is scanning"} 409$' <<<"$play"
next=$(web_post "$port" '{"command": "next"}')
check "POST next during the scan answers 202 (got '$next')" grep -q '"waiting".* 202$' <<<"$next"
remote next || e2e_fail "zubremote next failed"
check "after Next, zubremote status answers within 1 s" answers_within 1000 status
check "and shows the scan" grep -q '^scanning slot [0-9]* of 100$' "$ZUB_RUN_DIR/answer.txt"

wait_until 300 "the scan to end (Random and Next enabled)" scan_done || e2e_fail "the scan did not end"
e2e_log "ok: the scan ended"
touch "$ZUB_RUN_DIR/page.stop"
status=0
wait "$PAGE_PID" || status=$?
PAGE_PID=""
cat "$ZUB_RUN_DIR/page.log" >&2
check "the page checks passed" test "$status" = 0
check "the sessions come back to $before after the scan" \
    wait_until 20 "the sessions to come back" sessions_at_most "$before"
e2e_exit
e2e_pass
