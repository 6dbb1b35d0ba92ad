#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, build/fuzz) and runs them.
#   --short (default): replays every corpus input, then fuzzes each target for
#           FUZZ_SECONDS seconds (15); new inputs are thrown away.
#   --long: fuzzes each target for FUZZ_RUNS executions (1000000) and merges
#           the inputs that add coverage into tests/fuzz/corpus/<target>/.
# Optional target names after the mode (status scan exchange catalogue
# template remote) limit the run. Exits non-zero when any target crashed, hung
# or a sanitizer reported; the last line reads "N passed, N failed".
set -u

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${ZUB_FUZZ_BUILD:-$root/build/fuzz}
mode=${1:---short}
case $mode in
    --short | --long) shift || true ;;
    *)
        echo "usage: $0 [--short|--long] [target...]" >&2
        exit 2
        ;;
esac
all_targets=(status scan exchange catalogue template remote)
if [ $# -gt 0 ]; then
    targets=("$@")
else
    targets=("${all_targets[@]}")
fi
seconds=${FUZZ_SECONDS:-15}
runs=${FUZZ_RUNS:-1000000}
max_corpus_files=200
max_corpus_bytes=$((1024 * 1024))

max_len() {
    case $1 in
        status | remote) echo 128 ;;
        exchange) echo 256 ;;
        catalogue) echo 1024 ;;
        *) echo 4096 ;;
    esac
}

mkdir -p "$build"
if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DZUB_FUZZ=ON \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build/fuzz-configure.log" 2>&1 || {
        cat "$build/fuzz-configure.log"
        echo "0 passed, ${#targets[@]} failed"
        exit 1
    }
fi
if ! cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}" >"$build/fuzz-build.log" 2>&1; then
    tail -n 40 "$build/fuzz-build.log"
    echo "0 passed, ${#targets[@]} failed"
    exit 1
fi

# A sanitizer or check report anywhere in a log fails the target.
reported() {
    grep -E -q 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|UndefinedBehaviorSanitizer|FUZZ CHECK FAILED' "$1"
}

stat() {
    sed -n "s/^stat::$1: *//p" "$2" | tail -n 1
}

corpus_summary() {
    local files bytes
    files=$(find "$1" -type f | wc -l)
    bytes=$(find "$1" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')
    echo "$files files, $bytes bytes"
}

passed=0
failed=0
mkdir -p "$build/fuzz-logs" "$build/artifacts"
for target in "${targets[@]}"; do
    bin=$build/tests/fuzz/fuzz_$target
    corpus=$here/corpus/$target
    mkdir -p "$corpus"
    work=$(mktemp -d "$build/fuzz-run.XXXXXX")
    mkdir -p "$work/new" "$work/tmp"
    log=$build/fuzz-logs/$target.log
    : >"$log"
    ok=1
    # Absolute paths throughout: the targets may change directory while an input runs.
    common=(-max_len="$(max_len "$target")" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1)
    start=$(date +%s.%N)

    if [ "$mode" = --short ]; then
        mapfile -t inputs < <(find "$corpus" -type f | sort)
        replayed=${#inputs[@]}
        if [ "$replayed" -gt 0 ]; then
            TMPDIR=$work/tmp "$bin" "${inputs[@]}" >>"$log" 2>&1 || ok=0
        fi
        TMPDIR=$work/tmp "$bin" "${common[@]}" -max_total_time="$seconds" \
            -artifact_prefix="$build/artifacts/$target-" "$work/new" "$corpus" >>"$log" 2>&1 || ok=0
    else
        mkdir -p "$here/crashes"
        before=$(corpus_summary "$corpus")
        TMPDIR=$work/tmp "$bin" "${common[@]}" -runs="$runs" \
            -artifact_prefix="$here/crashes/$target-" "$work/new" "$corpus" >>"$log" 2>&1 || ok=0
        if [ $ok = 1 ]; then
            # Keep what adds coverage; re-minimise the whole corpus when it grows too big.
            TMPDIR=$work/tmp "$bin" -merge=1 "${common[@]}" "$corpus" "$work/new" \
                >"$work/merge.log" 2>&1 || ok=0
            files=$(find "$corpus" -type f | wc -l)
            bytes=$(find "$corpus" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')
            if [ $ok = 1 ] && { [ "$files" -gt $max_corpus_files ] || [ "$bytes" -gt $max_corpus_bytes ]; }; then
                # Minimise afresh; if that is still too big, keep a greedy cover of
                # every edge topped up with the inputs that add most features.
                mkdir -p "$work/min" "$work/keep"
                if TMPDIR=$work/tmp "$bin" -merge=1 -merge_control_file="$work/control" \
                    "${common[@]}" "$work/min" "$corpus" >>"$work/merge.log" 2>&1; then
                    python3 "$here/prune_corpus.py" "$work/control" $max_corpus_files \
                        $max_corpus_bytes | while IFS= read -r path; do cp "$path" "$work/keep/"; done
                    if [ -n "$(ls -A "$work/keep")" ]; then
                        find "$corpus" -type f -delete
                        cp "$work/keep"/* "$corpus"/
                    fi
                fi
            fi
        fi
    fi

    end=$(date +%s.%N)
    reported "$log" && ok=0
    elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.1f", b - a}')
    execs=$(stat number_of_executed_units "$log")
    rate=$(stat average_exec_per_sec "$log")
    crashes=$(grep -c 'Test unit written to' "$log")
    [ $ok = 1 ] || [ "$crashes" -gt 0 ] || crashes=1
    if [ "$mode" = --short ]; then
        line="replayed $replayed, fuzzed ${execs:-0} execs (${rate:-0}/s)"
    else
        line="${execs:-0} execs (${rate:-0}/s), corpus $before -> $(corpus_summary "$corpus")"
    fi
    if [ $ok = 1 ]; then
        passed=$((passed + 1))
        echo "fuzz_$target: $line in ${elapsed}s, crashes 0: ok"
    else
        failed=$((failed + 1))
        echo "fuzz_$target: $line in ${elapsed}s, crashes $crashes: FAILED (log $log)"
        grep -E -A 30 'ERROR:|runtime error:|FUZZ CHECK FAILED' "$log" | head -n 25
        ls "$build/artifacts/$target-"* "$here/crashes/$target-"* 2>/dev/null
    fi
    rm -rf "$work"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
