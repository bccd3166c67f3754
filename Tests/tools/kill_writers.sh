#!/bin/sh
# Each file writer killed (SIGKILL) at points spread over its run: what it leaves under the
# output's name must be the previous file or the complete new one, never a torn one. The
# complete output comes from an uninterrupted run of the same command; the previous file is a
# marker text. Files that are appended to (the console's "save", the match runner's PGN and
# training positions) must hold the marker followed by whole records. Outputs of runs that are
# not repeatable to the byte (training, games) must have the complete output's size.
#
#   kill_writers.sh TARN [TARN_TRAIN TARN_MATCH]
set -eu

absolute() {
    echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
}
tarn=$(absolute "${1:?engine binary}")
train=${2:+$(absolute "$2")}
match=${3:+$(absolute "$3")}
here=$(cd "$(dirname "$0")/../.." && pwd)
shared=${TARN_SHARED_DATA:-$here/../shared/data}
work=$(mktemp -d "${TMPDIR:-/tmp}/tarn-kill.XXXXXX")
trap 'rm -rf "$work"' EXIT
FRACTIONS=${FRACTIONS:-0.1 0.25 0.4 0.55 0.7 0.8 0.88 0.94 0.98}
PREVIOUS="previous file, never to be torn"

fail() {
    echo "kill_writers: $*" >&2
    exit 1
}
if [ ! -e "$shared/games-engine-selfplay.pgn" ] || [ ! -e "$shared/openings-uho4060v4.txt" ]; then
    echo "kill_writers: skipped: no shared test data in $shared (set TARN_SHARED_DATA)"
    exit 77
fi

now_ms() {
    echo $(($(date +%s%N) / 1000000))
}

# Inputs: games, a suite of positions and labelled positions.
cp "$shared/games-engine-selfplay.pgn" "$work/games.pgn"
head -n 60 "$shared/openings-uho4060v4.txt" | sed 's/ [0-9]* [0-9]*$/ ce 10; gr 0.5;/' \
    >"$work/suite.epd"
for k in 1 2 3 4 5 6 7 8; do
    sed 's/ [0-9]* [0-9]*$/ ce 10; gr 0.5;/' "$shared/openings-uho4060v4.txt"
done >"$work/labels.epd"
games=0
while [ $games -lt 40 ]; do
    printf 'new\ne4\ne5\nNf3\nNc6\nBb5\na6\nsave\n'
    games=$((games + 1))
done >"$work/console.txt"
echo quit >>"$work/console.txt"

echo "$PREVIOUS" >"$work/marker"

# check NAME OUTPUT COMPLETE: the output is the previous file or the complete one.
check() {
    if cmp -s "$2" "$3" || cmp -s "$2" "$work/marker"; then
        return 0
    fi
    fail "$1 left a torn $(basename "$2") ($(wc -c <"$2") bytes, complete: $(wc -c <"$3"))"
}

# check_appended NAME OUTPUT COMPLETE: the previous file followed by whole saved games.
check_appended() {
    size=$(wc -c <"$2")
    head -c "$size" "$3" | cmp -s - "$2" || fail "$1 left $(basename "$2") that is not a prefix"
    cmp -s "$2" "$work/marker" && return 0
    [ "$(tail -c 2 "$2" | od -An -c | tr -d ' ')" = '\n\n' ] ||
        fail "$1 left $(basename "$2") ending inside a game"
}

# check_size NAME OUTPUT COMPLETE: the previous file, or a file of the complete one's size.
check_size() {
    cmp -s "$2" "$work/marker" && return 0
    [ "$(wc -c <"$2")" -eq "$(wc -c <"$3")" ] ||
        fail "$1 left a torn $(basename "$2") ($(wc -c <"$2") bytes, complete: $(wc -c <"$3"))"
}

# check_games NAME OUTPUT COMPLETE: the marker line, then whole PGN games (tag lines, a blank
# line, move text, a blank line) or whole training lines.
check_games() {
    head -n 1 "$2" | cmp -s - "$work/marker" || fail "$1 lost the previous contents of $2"
    tail -n +2 "$2" >"$work/appended"
    [ -s "$work/appended" ] || return 0
    case $2 in
    *.pgn)
        [ "$(tail -c 2 "$work/appended" | od -An -c | tr -d ' ')" = '\n\n' ] ||
            fail "$1 left $(basename "$2") ending inside a game"
        blanks=$(grep -c '^$' "$work/appended" || true)
        [ $((blanks % 2)) -eq 0 ] || fail "$1 left $(basename "$2") with half a game"
        ;;
    *)
        [ "$(tail -c 1 "$work/appended" | od -An -c | tr -d ' ')" = '\n' ] ||
            fail "$1 left $(basename "$2") ending inside a line"
        grep -qv ' ce -\{0,1\}[0-9]*; gr [01]\.[05];$' "$work/appended" &&
            fail "$1 left $(basename "$2") with a torn line"
        ;;
    esac
    return 0
}

# writer NAME OUTPUT CHECK COMMAND...: one full run, then runs killed at the fractions of its
# time in FRACTIONS (denser near the end, where some writers write everything).
writer() {
    name=$1 output=$2 how=$3
    shift 3
    dir="$work/$name"
    mkdir -p "$dir"
    echo "$PREVIOUS" >"$dir/$output"
    start=$(now_ms)
    (cd "$dir" && "$@" </dev/null >/dev/null 2>&1) || fail "$name failed without a kill"
    took=$(($(now_ms) - start))
    cp "$dir/$output" "$dir/complete"
    cmp -s "$dir/complete" "$work/marker" && fail "$name wrote nothing"
    for f in $FRACTIONS; do
        echo "$PREVIOUS" >"$dir/$output"
        (cd "$dir" && exec "$@" </dev/null >/dev/null 2>&1) &
        pid=$!
        sleep "$(awk -v t="$took" -v f="$f" 'BEGIN { printf "%.3f", t * f / 1000 }')"
        kill -9 $pid 2>/dev/null || true
        wait $pid 2>/dev/null || true
        $how "$name (killed at $f of ${took} ms)" "$dir/$output" "$dir/complete"
    done
    echo "$name: killed at $FRACTIONS of ${took} ms, every output whole"
}

writer mkbook tmp_book.bin check "$tarn" -mkbook "$work/games.pgn"
writer scan_pgn2 tmp.epd check "$tarn" -scan_pgn2 "$work/games.pgn"
writer scan_pgn1 tmpX.epd check "$tarn" -scan_pgn1 "$work/games.pgn"
writer anepd analysis.epd check "$tarn" -anepd "$work/suite.epd" -d 5
writer mktune1 tune_new.epd check "$tarn" -mktune1 "$work/suite.epd" -d 4
writer epd2bin labels.bin check sh -c "cp '$work/labels.epd' . && exec '$tarn' -epd2bin labels.epd"
writer save tmp.pgn check_appended sh -c "exec '$tarn' -c -hash 1 <'$work/console.txt'"

[ -n "$train" ] && [ -n "$match" ] || exit 0
writer vary varied.epd check "$train" --vary "$shared/openings-uho4060v4.txt" varied.epd --per 16 --seed 3
cp "$work/epd2bin/complete" "$work/records.bin"
writer train_checkpoint last.ckpt check_size "$train" --data "$work/records.bin" --epochs 3 \
    --batch 256 --threads 1 --out .
for format in pgn epd; do
    writer "match_$format" "games.$format" check_games sh -c "exec '$match' \
        -engine cmd='$tarn' name=A -engine cmd='$tarn' name=B -each nodes=300 option.Hash=1 \
        -games 8 -concurrency 1 -openings file='$shared/openings-uho4060v4.txt' order=random \
        -srand 5 -pgnout file=games.pgn -epdout file=games.epd"
done
