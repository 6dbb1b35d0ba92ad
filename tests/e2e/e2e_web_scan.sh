#!/usr/bin/env bash
# The remotes during a slow scan (1.5 s a load) under Wine: a page kept open
# through the whole scan never says "controller not reachable" and shows the
# progress (tests/e2e/web_scan_watch.py); the program's remote sessions stay
# at their count before the scan; 70 disc-list clients during the scan,
# then the position answers within 1 s; Next during the scan, then the
# status answers within 1 s and shows the scan; the web remote answers 409
# to Play and 202 to Next meanwhile. Then the changer loses the disc of
# slot 5 and gets one in slot 4, and `zubremote scan 3 5` loads slots 3, 4
# and 5 and no other; the window's list and zubremote show the new rows, and
# the page, never reloaded, lists exactly the new magazine and began the
# range's progress bar at its start; its rescan button of slot 4 scans that
# slot alone. After that, 20 quick reloads of the page leave it live within
# 12 s.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

ZUB_WEB=${ZUB_WEB:-$ZUB_BUILD/native/zubweb}
WEB_PID=""
PAGE_PID=""
REMOVED=5
ADDED=4
ADDED_ID=NEWDISC004
RANGE_FIRST=3
RANGE_LAST=5

web_scan_finish() {
    local status=$?
    stop_process "$PAGE_PID"
    stop_process "$WEB_PID"
    e2e_finish "$status"
}

web_serving() { grep -q '^zubweb: serving http://' "$1"; }
web_port() { sed -n 's|^zubweb: serving http://[^ ]*:\([0-9]*\)/ .*|\1|p' "$1" | head -n 1; }
page_ready_or_ended() { [ -f "$ZUB_RUN_DIR/page.ready" ] || ! proc_alive "$PAGE_PID"; }
page_watching_or_ended() { [ -f "$ZUB_RUN_DIR/page.stop.watching" ] || ! proc_alive "$PAGE_PID"; }
page_clicked_or_ended() { [ -f "$ZUB_RUN_DIR/page.stop.clicked" ] || ! proc_alive "$PAGE_PID"; }

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
scan_over() { ! scanning_now; }
log_since_has() { log_since "$1" | grep -qE -- "$2"; }

# range_loads MARK FIRST LAST: the slots loaded by the scan of FIRST..LAST
# after MARK, from its opening unload to the load of its last slot (a locked
# unit: no other command falls between).
range_loads() {
    log_since "$1" | grep -v '^16 ' | awk -v first="$(printf 'A%02d' "$2")" \
        -v last="$(printf 'A%02d' "$3")" '
        { line[NR] = $0 }
        $1 == "01" && $3 == first && !start { start = NR }
        $1 == "01" && $3 == last && start && !end { end = NR }
        END {
            open = 0
            for (i = start; i >= 1; i--) if (line[i] ~ /^03 /) { open = i; break }
            for (i = open; i <= end && open; i++) {
                split(line[i], f, " ")
                if (f[1] == "01") printf "%s ", f[3]
            }
        }'
}

# window_row SLOT: "id<TAB>first-last" of the slot's row in the window.
window_row() { list_rows "$MAIN_TITLE" "$IDC_DISCLIST" | awk -F '\t' -v s="$1" '$2 == s { print $3 "\t" $4 }'; }

# The magazine after the swap as "slot id" lines, from the magazine file.
swapped_magazine() {
    { magazine_discs | awk -v gone="$REMOVED" '$1 != gone { print $1, $2 }'; echo "$ADDED $ADDED_ID"; } |
        sort -n
}

# expect_json DISCS_JSON: the page's expectation from zubremote's disc list.
expect_json() {
    /usr/bin/python3 -c 'import json, sys
discs = [[d["slot"], d["id"], d["disc_time"]] for d in json.load(open(sys.argv[1]))]
print(json.dumps({"first": int(sys.argv[2]), "last": int(sys.argv[3]), "discs": discs,
                  "rescan": int(sys.argv[4])}))' \
        "$1" "$RANGE_FIRST" "$RANGE_LAST" "$ADDED"
}

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

CONTROL=$ZUB_RUN_DIR/control.fifo
e2e_start_sim --load-delay 1500 --control "$CONTROL"
start_exe "$(e2e_workdir)" || e2e_fail "the program did not start"
wait_for_port 4239 60 || e2e_fail "nothing answers on TCP port 4239"
wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window '$MAIN_TITLE'"

"$ZUB_WEB" --listen 127.0.0.1:0 </dev/null >"$ZUB_RUN_DIR/zubweb.log" 2>&1 &
WEB_PID=$!
wait_until 20 "zubweb to listen" web_serving "$ZUB_RUN_DIR/zubweb.log" || e2e_fail "zubweb did not start"
port=$(web_port "$ZUB_RUN_DIR/zubweb.log")

/usr/bin/python3 "$E2E_ROOT/tests/e2e/web_scan_watch.py" "http://127.0.0.1:$port/" \
    "$ZUB_RUN_DIR/page.ready" "$ZUB_RUN_DIR/page.stop" "$ZUB_RUN_DIR/page.expect" </dev/null >"$ZUB_RUN_DIR/page.log" 2>&1 &
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
wait_until 20 "the page to watch the rescan" page_watching_or_ended || true
proc_alive "$PAGE_PID" || e2e_fail "the page watch ended: $(cat "$ZUB_RUN_DIR/page.log")"

# The changer's magazine changes behind the program's back; a range scan
# covering both slots reads it anew.
sim_control "$CONTROL" "remove $REMOVED" || e2e_fail "the simulator took no remove"
sim_control "$CONTROL" "insert $ADDED $ADDED_ID 1:11 2:22 3:33" || e2e_fail "the simulator took no insert"
mark=$(log_mark)
# The request is dropped while the window plays the Next sent during the
# scan: sent again until the scan is seen.
started=0
for _ in 1 2 3 4; do
    remote scan "$RANGE_FIRST" "$RANGE_LAST" || e2e_fail "zubremote scan $RANGE_FIRST $RANGE_LAST failed"
    if wait_until 15 "the range scan to load slot $RANGE_FIRST" log_since_has "$mark" \
        "^01 LOAD $(printf 'A%02d' "$RANGE_FIRST")"; then
        started=1
        break
    fi
done
((started)) || e2e_fail "the range scan did not start"
wait_until 60 "the range scan to end" scan_over || e2e_fail "the range scan did not end"
loads=$(range_loads "$mark" "$RANGE_FIRST" "$RANGE_LAST")
check "the range scan loaded slots $RANGE_FIRST to $RANGE_LAST and no other (got '$loads')" \
    test "$loads" = "$(for s in $(seq "$RANGE_FIRST" "$RANGE_LAST"); do printf 'A%02d ' "$s"; done)"
check "the window's row of slot $RANGE_FIRST shows no disc" test "$(window_row "$RANGE_FIRST")" = "$(printf 'no disc\t')"
check "the window's row of slot $ADDED shows $ADDED_ID" test "$(window_row "$ADDED")" = "$(printf '%s\t1-3' "$ADDED_ID")"
check "the window's row of slot $REMOVED shows no disc" test "$(window_row "$REMOVED")" = "$(printf 'no disc\t')"
remote discs >"$ZUB_RUN_DIR/discs.txt" || e2e_fail "zubremote discs failed"
check "zubremote discs lists $ADDED_ID in slot $ADDED" grep -q "^$ADDED $ADDED_ID tracks 1-3 " "$ZUB_RUN_DIR/discs.txt"
check "zubremote discs lists the new magazine" \
    diff <(swapped_magazine) <(awk '{ print $1, $2 }' "$ZUB_RUN_DIR/discs.txt")
remote --json discs >"$ZUB_RUN_DIR/discs.json" || e2e_fail "zubremote --json discs failed"
expect_json "$ZUB_RUN_DIR/discs.json" >"$ZUB_RUN_DIR/page.expect.part" || e2e_fail "no expectation for the page"
mark=$(log_mark)
mv "$ZUB_RUN_DIR/page.expect.part" "$ZUB_RUN_DIR/page.expect"

# The page's own rescan button of slot ADDED, once its list is the new one.
wait_until 150 "the page to click the rescan button of slot $ADDED" page_clicked_or_ended || true
[ -f "$ZUB_RUN_DIR/page.stop.clicked" ] || e2e_fail "the page did not click: $(cat "$ZUB_RUN_DIR/page.log")"
wait_until 30 "the page's rescan to load slot $ADDED" log_since_has "$mark" \
    "^01 LOAD $(printf 'A%02d' "$ADDED")" || e2e_fail "the page's rescan button scanned nothing"
wait_until 60 "the page's rescan to end" scan_over || e2e_fail "the page's rescan did not end"
loads=$(range_loads "$mark" "$ADDED" "$ADDED")
check "the page's rescan button loaded slot $ADDED alone (got '$loads')" test "$loads" = "$(printf 'A%02d ' "$ADDED")"

status=0
wait "$PAGE_PID" || status=$?
PAGE_PID=""
cat "$ZUB_RUN_DIR/page.log" >&2
check "the page checks passed" test "$status" = 0
check "the sessions come back to $before after the scan" \
    wait_until 20 "the sessions to come back" sessions_at_most "$before"
e2e_exit
e2e_pass
