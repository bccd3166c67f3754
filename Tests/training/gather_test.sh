#!/bin/sh
# Training/gather.sh on made-up chunk folders: finished chunks are split between the training
# and the validation file by their number, unfinished ones are left out, a marker whose
# records are missing stops the run without replacing the earlier output, and two runs into
# one output do not mix their files.
#
#   gather_test.sh
set -eu

here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tarn-gather.XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() {
    echo "gather_test: $*" >&2
    exit 1
}

# chunk DIR K RECORDS [unfinished]: a chunk of RECORDS 40-byte records, each filled with the
# chunk's number so that the output shows which chunks it holds.
chunk() {
    mkdir -p "$1"
    head -c $((40 * $3)) /dev/zero | tr '\0' "\\$(printf '%03o' $((64 + $2 % 50)))" >"$1/chunk-$2.bin"
    [ $# -gt 3 ] || echo "games 1 positions $3" >"$1/chunk-$2.done"
}

chunk "$work/a" 1 3
chunk "$work/a" 25 2
chunk "$work/a" 26 4
chunk "$work/a" 27 5 unfinished
chunk "$work/b" 50 1
chunk "$work/b" 7 6

"$here/Training/gather.sh" "$work/out" "$work/a" "$work/b" >"$work/log"
[ "$(wc -c <"$work/out-train.bin")" -eq $((40 * (3 + 4 + 6))) ] ||
    fail "training file holds $(wc -c <"$work/out-train.bin") bytes, not chunks 1, 26 and 7"
[ "$(wc -c <"$work/out-val.bin")" -eq $((40 * (2 + 1))) ] ||
    fail "validation file holds $(wc -c <"$work/out-val.bin") bytes, not chunks 25 and 50"
cat "$work/a/chunk-25.bin" "$work/b/chunk-50.bin" | cmp -s - "$work/out-val.bin" ||
    fail "validation file is not chunks 25 and 50 in order"
grep -q "3 chunks, 13 records in $work/out-train.bin; 2 chunks, 3 records" "$work/log" ||
    fail "unexpected summary: $(cat "$work/log")"

# VAL_EVERY=0 keeps every finished chunk for training.
VAL_EVERY=0 "$here/Training/gather.sh" "$work/all" "$work/a" >"$work/log"
[ "$(wc -c <"$work/all-train.bin")" -eq $((40 * (3 + 2 + 4))) ] || fail "VAL_EVERY=0 left chunks out"
[ ! -s "$work/all-val.bin" ] || fail "VAL_EVERY=0 still wrote validation records"

# A marker without its records is an error, and the files of the earlier run stay as they were.
cp "$work/out-train.bin" "$work/train.before"
rm "$work/b/chunk-7.bin"
if "$here/Training/gather.sh" "$work/out" "$work/a" "$work/b" >"$work/log" 2>&1; then
    fail "a chunk marker without records was accepted"
fi
grep -q "chunk-7.done has no" "$work/log" || fail "no message for the missing records: $(cat "$work/log")"
cmp -s "$work/out-train.bin" "$work/train.before" || fail "a failed run replaced the training file"
for left in "$work"/out-*.part*; do
    [ ! -e "$left" ] || fail "a failed run left its temporary file $left behind"
done
if VAL_EVERY=x "$here/Training/gather.sh" "$work/out" "$work/a" >"$work/log" 2>&1; then
    fail "VAL_EVERY=x was accepted"
fi

# Two runs into the same output at once each write their own temporary files: the outputs end
# whole, not with the chunks of both runs appended into one.
chunk "$work/big" 1 20000
chunk "$work/big" 2 20000
"$here/Training/gather.sh" "$work/race" "$work/big" >"$work/log1" &
"$here/Training/gather.sh" "$work/race" "$work/big" >"$work/log2"
wait $! || fail "the first of two concurrent runs failed"
[ "$(wc -c <"$work/race-train.bin")" -eq $((40 * 40000)) ] ||
    fail "two concurrent runs left a training file of $(wc -c <"$work/race-train.bin") bytes"
echo "gather_test: split, unfinished chunks, failures and concurrent runs as expected"
