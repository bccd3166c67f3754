#!/usr/bin/env bash
# Runs a three-thread search (with a stop, a ponderhit and a second search), then searches with
# more threads than processors (helpers taking turns, commands arriving while the helpers of a
# stopped search leave) on a thread-sanitizer build, and fails when the sanitizer reports
# anything.
# Usage: tsan_search.sh ENGINE_BINARY
set -euo pipefail
engine=$1
log=$(mktemp)
{
    printf 'setoption name Threads value 3\nposition startpos moves e2e4\ngo depth 9\n'
    sleep 12
    printf 'position startpos moves d2d4 d7d5\ngo infinite\n'
    sleep 4
    printf 'stop\ngo ponder wtime 2000 btime 2000\n'
    sleep 2
    printf 'ponderhit\n'
    sleep 4
    printf 'setoption name Threads value 12\nposition startpos\ngo infinite\n'
    sleep 3
    printf 'stop\nposition startpos moves g1f3\ngo depth 4\nisready\n'
    sleep 6
    printf 'quit\n'
} | TSAN_OPTIONS="halt_on_error=0" "$engine" >"$log" 2>&1 || true
bestmoves=$(grep -c '^bestmove' "$log" || true)
if grep -q 'ThreadSanitizer' "$log"; then
    grep -A12 'ThreadSanitizer' "$log" | head -60 >&2
    rm -f "$log"
    echo "thread sanitizer reported data races" >&2
    exit 1
fi
rm -f "$log"
if [ "$bestmoves" -lt 5 ]; then
    echo "expected five bestmove answers, got $bestmoves" >&2
    exit 1
fi
echo "thread sanitizer: clean ($bestmoves searches)"
