#!/usr/bin/env bash
# Runs the fuzzers of a fuzz build one after another, each for SECONDS seconds at low priority,
# on its committed corpus (Tests/fuzz/corpus/TARGET, read only) and on the inputs it has found
# before (BUILD/corpus/TARGET, where new ones are added). A crash, a hang (one input running
# over a second), a leak or a sanitizer report stops that target's run and leaves the input in
# BUILD/crashes/; the next target still runs. Every run appends a line to BUILD/fuzz-runs.tsv
# (time, target, seconds, executions, exit status), from which campaign totals are summed.
#   run_fuzz.sh BUILD SECONDS [TARGET...]
set -uo pipefail
build=$(cd "$1" && pwd)
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for f in "$build"/fuzz/fuzz_*; do
        targets+=("${f##*/fuzz_}")
    done
fi

# Longest input per target: room for a small network, a pair of table files, a book slice.
max_len() {
    case $1 in
    network) echo 65536 ;;
    tablebase) echo 40000 ;;
    book | train_records | pgn_book | pgn_load | pgn_scan) echo 8192 ;;
    epd_tools) echo 1024 ;;
    *) echo 4096 ;;
    esac
}

# True when the input runs within a second by itself in one of three tries (start-up included).
alone_within_a_second() {
    for try in 1 2 3; do
        (cd "$build/fuzz-work/$1" && timeout 1 "$2" "$3" >/dev/null 2>&1) && return 0
    done
    return 1
}

mkdir -p "$build/crashes" "$build/logs"
failed=0
total=0
for t in "${targets[@]}"; do
    fuzzer="$build/fuzz/fuzz_$t"
    if [ ! -x "$fuzzer" ]; then
        echo "no fuzzer for $t" >&2
        failed=1
        continue
    fi
    mkdir -p "$build/corpus/$t" "$build/fuzz-work/$t"
    log="$build/logs/$t.log"
    : >"$log"
    runs=0
    status=0
    left=$seconds
    # A fuzzer stopped by a timeout is run on: the alarm counts wall time, and on a loaded
    # machine an input that runs in milliseconds alone can be starved past the second.
    while [ "$left" -gt 0 ]; do
        started=$(date +%s)
        (cd "$build/fuzz-work/$t" && nice "$fuzzer" -max_total_time="$left" -timeout=1 \
            -rss_limit_mb=2048 -max_len="$(max_len "$t")" -print_final_stats=1 \
            -artifact_prefix="$build/crashes/$t-" "$build/corpus/$t" "$here/corpus/$t") \
            >>"$log" 2>&1
        status=$?
        done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
        runs=$((runs + ${done_runs:-0}))
        left=$((left - ($(date +%s) - started)))
        [ $status -eq 0 ] && break
        unit=$(sed -n 's/.*Test unit written to \(.*timeout-.*\)$/\1/p' "$log" | tail -n 1)
        [ -n "$unit" ] || break
        if alone_within_a_second "$t" "$fuzzer" "$unit"; then
            echo "$t: a timeout under load; the input runs within the second alone, fuzzing on"
            mv "$unit" "$build/logs/starved-$(basename "$unit")"
            status=0
        else
            break
        fi
    done
    total=$((total + runs))
    printf '%s\t%s\t%s\t%s\t%s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "$t" "$seconds" "$runs" \
        "$status" >>"$build/fuzz-runs.tsv"
    if [ $status -eq 0 ]; then
        echo "$t: $runs executions"
    else
        failed=1
        echo "$t: $runs executions, STOPPED (status $status); see $log and $build/crashes/"
    fi
done
echo "all targets: $total executions"
exit $failed
