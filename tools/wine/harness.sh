# Wine harness: runs zubcd.exe under Wine against the changer simulator on a
# given or a private X display; waits on conditions, clicks, screenshots and
# tears everything down. Sourced by ./run and the end-to-end tests (bash).
#
# The COM ports the tests name (ZUB_COM_PORTS) are set once, in the registry,
# each to a fixed link inside the prefix (com1-link, ...); start_sim points
# COM1's link at the simulator's pty, so no registry write or wineserver
# restart is needed per run. Wine gives a host serial device (/dev/ttyS0)
# the first COM number the registry leaves free, so mapping every port a test
# names keeps host devices off them.
# shellcheck shell=bash

ZUB_ROOT=${ZUB_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
ZUB_BUILD=${ZUB_BUILD:-$ZUB_ROOT/build}
ZUB_WINEPREFIX=${ZUB_WINEPREFIX:-$ZUB_BUILD/wineprefix}
ZUB_WIN_EXE=${ZUB_WIN_EXE:-$ZUB_BUILD/win/zubcd.exe}
ZUB_SIM=${ZUB_SIM:-$ZUB_BUILD/native/tools/changer-sim/changer-sim}
ZUB_RUN_DIR=${ZUB_RUN_DIR:-$ZUB_BUILD/harness-run}
ZUB_PROBE_EXE=${ZUB_PROBE_EXE:-$ZUB_BUILD/win/zubprobe.exe}
ZUB_COM_PORTS=(COM1 COM3 COM9)
ZUB_COM1_LINK=$ZUB_WINEPREFIX/com1-link
ZUB_WINE_TIMEOUT=${ZUB_WINE_TIMEOUT:-60}

# shellcheck source=window_ids.sh
source "$ZUB_ROOT/tools/wine/window_ids.sh"

export WINEPREFIX=$ZUB_WINEPREFIX
export WINEARCH=win64
export WINEDEBUG=${ZUB_WINEDEBUG:--all}
# No Mono/Gecko installers, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

ZUB_XVFB_PID=""
ZUB_SIM_PID=""
ZUB_SIM_PTY=""
ZUB_SIM_LOG=""
ZUB_EXTRA_SIM_PIDS=()
ZUB_EXE_PID=""
ZUB_EXE_RC=""
ZUB_VNC_PID=""
ZUB_WM_PID=""

harness_log() { printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }

# True while the process runs (a zombie child does not count).
proc_alive() {
    local pid=$1 state
    [ -n "$pid" ] && [ -r "/proc/$pid/stat" ] || return 1
    state=$(sed 's/^.*) \(.\).*$/\1/' "/proc/$pid/stat" 2>/dev/null) || return 1
    [ "$state" != Z ] && [ -n "$state" ]
}

# wait_until SECONDS DESCRIPTION COMMAND...: polls COMMAND until it succeeds;
# fails with a message after SECONDS.
wait_until() {
    local limit=$1 what=$2
    shift 2
    local deadline=$((SECONDS + limit))
    until "$@"; do
        if ((SECONDS >= deadline)); then
            harness_log "timed out after ${limit}s waiting for $what"
            return 1
        fi
        sleep 0.2
    done
}

# Stops a process: TERM, then KILL if it is still there after a while.
stop_process() {
    local pid=$1
    proc_alive "$pid" || return 0
    kill -TERM "$pid" 2>/dev/null || return 0
    wait_until 10 "process $pid to end" proc_gone "$pid" 2>/dev/null ||
        kill -KILL "$pid" 2>/dev/null || true
}

proc_gone() { ! proc_alive "$1"; }

# --- Wine prefix ----------------------------------------------------------

wine_quiet() { timeout "$ZUB_WINE_TIMEOUT" wine "$@" >/dev/null 2>&1; }

# Waits until the prefix's wineserver has ended; kills it when it lingers.
wine_settle() {
    timeout 60 wineserver -w 2>/dev/null || { wineserver -k 2>/dev/null || true; }
}

# com_link COMn: the fixed link inside the prefix that the port opens.
com_link() { printf '%s/%s-link\n' "$ZUB_WINEPREFIX" "${1,,}"; }

# The ports and their links, as the prefix's marker records them.
com_port_map() {
    local port
    for port in "${ZUB_COM_PORTS[@]}"; do
        printf '%s=%s\n' "$port" "$(com_link "$port")"
    done
}

# Creates the prefix once: boot, no crash dialog, every port of
# ZUB_COM_PORTS on its fixed link.
wine_prefix_init() {
    local marker=$ZUB_WINEPREFIX/.zub-ready port
    if [ -f "$marker" ] && [ "$(cat "$marker")" = "$(com_port_map)" ]; then
        return 0
    fi
    mkdir -p "$(dirname "$ZUB_WINEPREFIX")"
    harness_log "creating the Wine prefix $ZUB_WINEPREFIX (once; up to a minute)"
    if ! timeout 600 wineboot --init >"$ZUB_BUILD/wineboot.log" 2>&1; then
        harness_log "wineboot failed; see $ZUB_BUILD/wineboot.log"
        return 1
    fi
    wine_settle
    if ! wine_quiet reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f; then
        harness_log "could not write the prefix's registry"
        return 1
    fi
    for port in "${ZUB_COM_PORTS[@]}"; do
        if ! wine_quiet reg add 'HKLM\Software\Wine\Ports' /v "$port" /d "$(com_link "$port")" /f
        then
            harness_log "could not map $port in the prefix's registry"
            return 1
        fi
    done
    # The registry is saved when the wineserver ends; the next start maps
    # each port (dosdevices/com1, ...) to its link.
    wine_settle
    com_port_map >"$marker"
}

# Builds the probe (target zubprobe of the Windows build) when the Windows
# build is configured; then the probe must be there.
probe_build() {
    if [ -f "$ZUB_BUILD/win/CMakeCache.txt" ]; then
        cmake --build "$ZUB_BUILD/win" --target zubprobe >/dev/null || return 1
    fi
    [ -f "$ZUB_PROBE_EXE" ]
}

# probe ACTION TITLE [ID]: runs the probe (see zubprobe.cpp) and prints its
# output; its exit status is the probe's.
# Output goes through a file: a wineserver started by this call must not
# inherit the caller's pipe.
probe() {
    local out=$ZUB_RUN_DIR/probe.out status=0
    mkdir -p "$ZUB_RUN_DIR"
    timeout "$ZUB_WINE_TIMEOUT" wine "$ZUB_PROBE_EXE" "$@" </dev/null >"$out" 2>/dev/null || status=$?
    tr -d '\r' <"$out"
    return "$status"
}

# --- display ----------------------------------------------------------------

display_answers() { xdpyinfo >/dev/null 2>&1; }

# Starts a private Xvfb on a free display and exports DISPLAY.
start_xvfb() {
    mkdir -p "$ZUB_RUN_DIR"
    local number_file=$ZUB_RUN_DIR/xvfb.display
    : >"$number_file"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
        3>"$number_file" >"$ZUB_RUN_DIR/xvfb.log" 2>&1 &
    ZUB_XVFB_PID=$!
    wait_until 30 "Xvfb to choose a display" test -s "$number_file" || return 1
    DISPLAY=:$(head -n 1 "$number_file")
    export DISPLAY
    wait_until 30 "the X display $DISPLAY" display_answers || return 1
    harness_log "Xvfb on $DISPLAY"
}

wm_running() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

# Runs a small window manager (openbox) on our private Xvfb, so windows get
# their title bars as on a desktop; nothing on a display of the user's.
start_window_manager() {
    [ -n "$ZUB_XVFB_PID" ] || return 0
    if ! command -v openbox >/dev/null; then
        harness_log "no openbox: windows on $DISPLAY have no title bar"
        return 0
    fi
    openbox --sm-disable </dev/null >"$ZUB_RUN_DIR/openbox.log" 2>&1 &
    ZUB_WM_PID=$!
    wait_until 30 "the window manager on $DISPLAY" wm_running ||
        harness_log "the window manager did not start; see $ZUB_RUN_DIR/openbox.log"
}

# Uses $DISPLAY when it answers (unless a private one is asked for with
# ZUB_PRIVATE_DISPLAY=1), else starts Xvfb.
use_display() {
    if [ "${ZUB_PRIVATE_DISPLAY:-0}" != 1 ] && [ -n "${DISPLAY:-}" ] && display_answers; then
        harness_log "using the display $DISPLAY"
        return 0
    fi
    start_xvfb
}

# screenshot NAME: the whole screen into $ZUB_RUN_DIR/NAME.png (best effort).
screenshot() {
    local file=$ZUB_RUN_DIR/$1.png
    if timeout 20 import -display "$DISPLAY" -window root "$file" 2>/dev/null; then
        harness_log "screenshot $file"
    else
        harness_log "no screenshot (import failed)"
    fi
}

# --- simulator ------------------------------------------------------------

# start_sim [SIMULATOR OPTIONS...]: starts the simulator with its log in
# $ZUB_RUN_DIR/sim.log, waits for its pty and points COM1's link at it.
start_sim() {
    if [ ! -x "$ZUB_SIM" ]; then
        harness_log "no simulator at $ZUB_SIM (native build missing?)"
        return 1
    fi
    mkdir -p "$ZUB_RUN_DIR"
    ZUB_SIM_LOG=$ZUB_RUN_DIR/sim.log
    local out=$ZUB_RUN_DIR/sim.out
    : >"$out"
    : >"$ZUB_SIM_LOG"
    "$ZUB_SIM" --log "$ZUB_SIM_LOG" "$@" >"$out" 2>"$ZUB_RUN_DIR/sim.err" &
    ZUB_SIM_PID=$!
    wait_until 30 "the simulator's pty" sim_announced "$out" || {
        cat "$ZUB_RUN_DIR/sim.err" >&2
        return 1
    }
    ZUB_SIM_PTY=$(awk '$1 == "pty" { print $2; exit }' "$out")
    ln -sfn "$ZUB_SIM_PTY" "$ZUB_COM1_LINK"
    harness_log "simulator $ZUB_SIM_PID on $ZUB_SIM_PTY (COM1)"
}

sim_announced() {
    grep -q '^pty ' "$1" || {
        proc_alive "$ZUB_SIM_PID" || {
            harness_log "the simulator ended before it was ready"
            return 2
        }
        return 1
    }
}

# start_extra_sim NAME COMn [SIMULATOR OPTIONS...]: one more simulator, its
# log in $ZUB_RUN_DIR/NAME.log, on the port COMn; teardown stops it.
start_extra_sim() {
    local name=$1 port=$2
    shift 2
    local out=$ZUB_RUN_DIR/$name.out pid
    : >"$out"
    "$ZUB_SIM" --log "$ZUB_RUN_DIR/$name.log" "$@" >"$out" 2>"$ZUB_RUN_DIR/$name.err" &
    pid=$!
    ZUB_EXTRA_SIM_PIDS+=("$pid")
    wait_until 30 "the simulator $name's pty" grep -q '^pty ' "$out" || return 1
    point_port "$port" "$(awk '$1 == "pty" { print $2; exit }' "$out")"
    harness_log "simulator $name $pid on $port"
}

# restart_sim [SIMULATOR OPTIONS...]: a new simulator on a new pty takes over
# from the running one. COM1's link points at the new pty before the old one
# closes, so the program's next write finds the new one; the old log and
# error output are kept as sim.log.N and sim.err.N.
restart_sim() {
    local old=$ZUB_SIM_PID n=1
    while [ -e "$ZUB_RUN_DIR/sim.log.$n" ]; do n=$((n + 1)); done
    mv "$ZUB_SIM_LOG" "$ZUB_RUN_DIR/sim.log.$n"
    mv "$ZUB_RUN_DIR/sim.err" "$ZUB_RUN_DIR/sim.err.$n" 2>/dev/null || true
    start_sim "$@" || return 1
    stop_process "$old"
}

# sim_control FIFO LINE: one command to a simulator started with --control FIFO.
sim_control() {
    timeout 5 bash -c 'printf "%s\n" "$2" >"$1"' _ "$1" "$2"
}

# port_absent COMn: points the port at a path with no device behind it.
port_absent() {
    ln -sfn "$ZUB_RUN_DIR/no-such-device" "$(com_link "$1")"
}

com1_absent() { port_absent COM1; }

# point_port COMn PATH: the port opens PATH (a simulator's pty).
point_port() { ln -sfn "$2" "$(com_link "$1")"; }

# wait_for_log REGEX [SECONDS]: a line of the simulator log matches.
wait_for_log() {
    wait_until "${2:-30}" "'$1' in the simulator log" grep -qE -- "$1" "$ZUB_SIM_LOG"
}

# log_mark: how many lines the simulator log holds now.
log_mark() { wc -l <"$ZUB_SIM_LOG"; }

# log_since MARK: the log lines after MARK as "CC NAME[ ARG]".
log_since() {
    tail -n +"$(($1 + 1))" "$ZUB_SIM_LOG" |
        awk '{ line = $2 " " $3; if (NF >= 4) line = line " " $4; print line }'
}

# log_has_run MARK LINE...: after MARK the log holds the given "CC NAME ARG"
# lines one right after the other.
log_has_run() {
    local mark=$1
    shift
    log_since "$mark" | WANT=$(printf '%s\n' "$@") awk '
        BEGIN { n = split(ENVIRON["WANT"], want, "\n") }
        { line[NR] = $0 }
        END {
            for (i = 1; i + n - 1 <= NR; i++) {
                same = 1
                for (j = 1; j <= n && same; j++) same = line[i + j - 1] == want[j]
                if (same) exit 0
            }
            exit 1
        }'
}

# wait_for_run MARK SECONDS LINE...: waits until log_has_run holds.
wait_for_run() {
    local mark=$1 limit=$2
    shift 2
    wait_until "$limit" "the commands '$*' in the simulator log" log_has_run "$mark" "$@"
}

# --- the program ----------------------------------------------------------

# start_exe WORKDIR [EXE [ARG...]]: runs the program (EXE, or when it is
# empty or not given ZUB_WIN_EXE) with the arguments under Wine in WORKDIR;
# its output goes to $ZUB_RUN_DIR/exe.log, its exit code to ZUB_EXE_RC
# (wait_for_exit).
start_exe() {
    local workdir=$1 exe=${2:-$ZUB_WIN_EXE}
    shift $(($# < 2 ? $# : 2))
    if [ ! -f "$exe" ]; then
        harness_log "no program at $exe (Windows build missing?)"
        return 1
    fi
    exe=$(realpath "$exe")
    mkdir -p "$ZUB_RUN_DIR"
    rm -f "$ZUB_RUN_DIR/exe.pid" "$ZUB_RUN_DIR/exe.rc"
    (
        cd "$workdir" || exit 1
        wine "$exe" "$@" >"$ZUB_RUN_DIR/exe.log" 2>&1 &
        echo $! >"$ZUB_RUN_DIR/exe.pid"
        rc=0
        wait $! || rc=$?
        echo "$rc" >"$ZUB_RUN_DIR/exe.rc"
    ) </dev/null >/dev/null 2>&1 &
    wait_until 10 "the program's process" test -s "$ZUB_RUN_DIR/exe.pid" || return 1
    ZUB_EXE_PID=$(cat "$ZUB_RUN_DIR/exe.pid")
    ZUB_EXE_RC=""
    harness_log "program $ZUB_EXE_PID started in $workdir${1:+ with $*}"
}

exe_ended() { test -s "$ZUB_RUN_DIR/exe.rc"; }

exe_running() { proc_alive "$ZUB_EXE_PID" && ! exe_ended; }

# wait_for_exit [SECONDS]: the program has ended; sets ZUB_EXE_RC.
wait_for_exit() {
    wait_until "${1:-30}" "the program to end" exe_ended || return 1
    ZUB_EXE_RC=$(cat "$ZUB_RUN_DIR/exe.rc")
}

# X window ids of the visible windows whose title is exactly TITLE.
window_ids() {
    local pattern
    pattern=$(printf '%s' "$1" | sed 's/[]\.*^$?+(){}|[]/\\&/g')
    xdotool search --onlyvisible --name "^${pattern}\$" 2>/dev/null
}

window_exists() { [ -n "$(window_ids "$1")" ]; }

# wait_for_window TITLE [SECONDS]: a visible window has exactly this title.
wait_for_window() {
    wait_until "${2:-60}" "a window titled '$1'" window_exists "$1"
}

window_absent() { ! window_exists "$1"; }

# wait_for_window_gone TITLE [SECONDS]
wait_for_window_gone() {
    wait_until "${2:-30}" "the window '$1' to go" window_absent "$1"
}

# port_listening PORT: some socket listens on the TCP port (IPv4 or IPv6).
port_listening() {
    local hex
    hex=$(printf ':%04X' "$1")
    awk -v port="$hex" 'substr($2, length($2) - 4) == port && $4 == "0A" { found = 1 }
        END { exit !found }' /proc/net/tcp /proc/net/tcp6 2>/dev/null
}

port_free() { ! port_listening "$1"; }

# port_answers PORT: a TCP connection to 127.0.0.1:PORT is accepted.
port_answers() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# wait_for_port PORT [SECONDS]
wait_for_port() { wait_until "${2:-30}" "TCP port $1 to answer" port_answers "$1"; }

# click_at X Y: a left click with the pointer at screen position X, Y.
click_at() { xdotool mousemove --sync "$1" "$2" click 1; }

# click_button TITLE ID: clicks the middle of control ID of the window TITLE.
click_button() {
    local position
    position=$(probe center "$1" "$2") || {
        harness_log "no control $2 in '$1': $position"
        return 1
    }
    # shellcheck disable=SC2086  # "x y"
    click_at $position
}

# click_row TITLE LIST_ID ROW: clicks a row of a list view (scrolled into view).
click_row() {
    local position
    position=$(probe rowcenter "$1" "$2" "$3") || {
        harness_log "no row $3 in list $2 of '$1': $position"
        return 1
    }
    # shellcheck disable=SC2086  # "x y"
    click_at $position
}

# list_rows TITLE LIST_ID: one line per row, "index<TAB>column 0<TAB>...".
list_rows() { probe rows "$1" "$2"; }

# button_enabled TITLE ID: the control is enabled.
button_enabled() { [ "$(probe enabled "$1" "$2")" = 1 ]; }

# button_disabled TITLE ID: the control exists and is disabled.
button_disabled() { [ "$(probe enabled "$1" "$2")" = 0 ]; }

# --- teardown ---------------------------------------------------------------

# Ends what the harness started, in reverse order; safe to call twice.
harness_teardown() {
    if proc_alive "$ZUB_EXE_PID"; then
        harness_log "stopping the program"
        kill -TERM "$ZUB_EXE_PID" 2>/dev/null || true
    fi
    if [ -d "$ZUB_WINEPREFIX" ]; then
        wineserver -k 2>/dev/null || true
        timeout 30 wineserver -w 2>/dev/null || true
    fi
    stop_process "$ZUB_SIM_PID"
    local pid
    for pid in "${ZUB_EXTRA_SIM_PIDS[@]}"; do
        stop_process "$pid"
    done
    ZUB_EXTRA_SIM_PIDS=()
    stop_process "$ZUB_VNC_PID"
    stop_process "$ZUB_WM_PID"
    stop_process "$ZUB_XVFB_PID"
    ZUB_EXE_PID=""
    ZUB_SIM_PID=""
    ZUB_VNC_PID=""
    ZUB_WM_PID=""
    ZUB_XVFB_PID=""
    local port
    for port in "${ZUB_COM_PORTS[@]}"; do
        rm -f "$(com_link "$port")"
    done
}
