#!/bin/sh
# The engine against itself for many fast games, one side with two search threads: standard
# openings with a few random plies, and a fifth of the games from Chess960 start positions. The
# match runner counts crashes, illegal moves, time losses and disconnects (-strict makes any of
# them fail the run) and prints each side's closest call with the clock. On a sanitizer build
# the sanitizers' reports go to files in the scratch folder, and any report fails the run.
#
#   Tests/tools/soak.sh ENGINE MATCH_RUNNER [GAMES] [SCRATCH_DIR]
#
# GAMES (1,000 by default) is split four to one between the two kinds of opening. TC sets the
# clock (default 1+0.01). Needs both cores to itself: other work makes the clock the test.
set -eu

engine=$(cd "$(dirname "${1:?usage: soak.sh ENGINE MATCH_RUNNER [GAMES] [SCRATCH_DIR]}")" && pwd)/$(basename "$1")
match=${2:?usage: soak.sh ENGINE MATCH_RUNNER [GAMES] [SCRATCH_DIR]}
games=${3:-1000}
scratch=${4:-$(mktemp -d "${TMPDIR:-/tmp}/tarn-soak.XXXXXX")}
here=$(cd "$(dirname "$0")/../.." && pwd)
openings=${TARN_SHARED_DATA:-$here/../shared/data}/openings-noob3moves.txt
tc=${TC:-1+0.01}
mkdir -p "$scratch"
[ -e "$openings" ] || {
    echo "soak: missing $openings (the shared test data)" >&2
    exit 2
}
chess960=$((games / 5 / 2 * 2))
standard=$((games - chess960))
export ASAN_OPTIONS="log_path=$scratch/asan-report"
export UBSAN_OPTIONS="log_path=$scratch/ubsan-report:print_stacktrace=1"

status=0
# play NAME GAMES SEED [RUNNER ARGUMENTS...]
play() {
    name=$1 n=$2 seed=$3
    shift 3
    echo "soak: $n games ($name), output in $scratch/$name.log"
    "$match" -engine cmd="$engine" name=threads-2 option.Threads=2 \
        -engine cmd="$engine" name=threads-1 -each tc="$tc" option.Hash=16 \
        -games "$n" -repeat 2 -concurrency 1 -srand "$seed" -pgnout file="$scratch/$name.pgn" \
        -strict "$@" >"$scratch/$name.log" 2>&1 || status=1
    grep -E "^(Failures|Match|Score)" "$scratch/$name.log" | tail -n 4
}
play standard "$standard" 28 -openings file="$openings" order=random randomplies=4
play chess960 "$chess960" 29 -variant fischerandom

reports=$(find "$scratch" -name '*san-report*' | wc -l)
echo "soak: $reports sanitizer reports"
[ "$reports" -eq 0 ] || status=1
[ $status -eq 0 ] && echo "soak: passed" || echo "soak: FAILED"
exit $status
