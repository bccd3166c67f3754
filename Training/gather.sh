#!/bin/sh
# Gathers the finished chunks of tarn-datagen folders into one training file and one
# validation file: chunk K goes to validation when K is a multiple of VAL_EVERY (default 25;
# 0 keeps every chunk for training), to training otherwise. A chunk without its .done marker
# is still being played and is left out.
#
#   Training/gather.sh OUT DIR [DIR ...]
#
# writes OUT-train.bin and OUT-val.bin (40 bytes a record), each under a temporary name
# first, so that an interrupted run leaves no half-written file behind.
set -eu

out=${1:?usage: gather.sh OUT DIR [DIR ...]}
shift
[ $# -gt 0 ] || {
    echo "usage: gather.sh OUT DIR [DIR ...]" >&2
    exit 2
}
every=${VAL_EVERY:-25}
case $every in
'' | *[!0-9]*)
    echo "gather.sh: VAL_EVERY must be a number, not '$every'" >&2
    exit 2
    ;;
esac

# The temporary names carry the process id: two runs into the same OUT must not append to
# one file; each writes its own, and the last to finish leaves whole outputs.
part_train="$out-train.bin.part.$$"
part_val="$out-val.bin.part.$$"
trap 'rm -f "$part_train" "$part_val"' EXIT
: >"$part_train"
: >"$part_val"
train=0 val=0
for dir in "$@"; do
    [ -d "$dir" ] || {
        echo "gather.sh: no folder $dir" >&2
        exit 1
    }
    for done_marker in "$dir"/chunk-*.done; do
        [ -e "$done_marker" ] || continue
        chunk=${done_marker%.done}.bin
        k=${done_marker##*/chunk-}
        k=${k%.done}
        [ -e "$chunk" ] || {
            echo "gather.sh: $done_marker has no $chunk" >&2
            exit 1
        }
        if [ "$every" -gt 0 ] && [ $((k % every)) -eq 0 ]; then
            cat "$chunk" >>"$part_val"
            val=$((val + 1))
        else
            cat "$chunk" >>"$part_train"
            train=$((train + 1))
        fi
    done
done
# Counted before the rename, so that a run reports its own files, not another run's.
train_records=$(($(wc -c <"$part_train") / 40))
val_records=$(($(wc -c <"$part_val") / 40))
mv "$part_train" "$out-train.bin"
mv "$part_val" "$out-val.bin"
echo "gather.sh: $train chunks, $train_records records in $out-train.bin;" \
    "$val chunks, $val_records records in $out-val.bin"
