# Sourced by the remote bench scripts (bash): zubcd.exe under Wine with the
# simulated changer and the demo magazine, answering on TCP port 4239, in a
# Wine prefix of its own so that a test run cannot stop its wineserver.
# shellcheck shell=bash

ZUB_WINEPREFIX=${ZUB_WINEPREFIX:-$ZUB_BUILD/wineprefix-bench}
source "$ZUB_ROOT/tools/wine/harness.sh"

# program_up NAME: artifacts in $ZUB_BUILD/bench-run/NAME; tears down on exit.
program_up() {
    ZUB_RUN_DIR=$ZUB_BUILD/bench-run/$1
    rm -rf "$ZUB_RUN_DIR"
    mkdir -p "$ZUB_RUN_DIR/work"
    cp "$ZUB_ROOT/demo/zub.txt" "$ZUB_RUN_DIR/work/"
    if port_listening 4239; then
        zub_warn "TCP port 4239 is taken (is the program running already?)"
        return 1
    fi
    trap harness_teardown EXIT
    trap 'exit 130' INT TERM
    wine_prefix_init >&2 && probe_build >&2 || return 1
    ZUB_PRIVATE_DISPLAY=1
    use_display >&2 || return 1
    start_sim --magazine "$ZUB_ROOT/demo/magazine.txt" >&2 || return 1
    start_exe "$ZUB_RUN_DIR/work" >&2 || return 1
    wait_for_port 4239 60 >&2 && wait_for_window "$MAIN_TITLE" 60 >&2
}

# program_down: ends the program, the simulator and the display.
program_down() {
    harness_teardown
    trap - EXIT INT TERM
}
