#!/usr/bin/env bash
# Damaged input files of every kind the programs read, tried one by one against the engine and
# the trainer (best on a sanitizer build, whose reports count as failures). For each kind and
# each way of damaging a file it prints how many runs there were, how many printed a line
# naming the file, how many ended with a non-zero status, and how many crashed, hung or drew a
# sanitizer report; the last column must be 0. Exits 1 when any run failed.
#
#   Tests/tools/bad_files.sh BUILD_DIR [SCRATCH_DIR]
#
# BUILD_DIR holds tarn and Training/trainer/tarn-train; the good files come from the shared
# data folder (TARN_SHARED_DATA, default ../shared/data) and from the build's own network.
set -uo pipefail
build=${1:?usage: bad_files.sh BUILD_DIR [SCRATCH_DIR]}
scratch=${2:-$(mktemp -d)}
here=$(cd "$(dirname "$0")/../.." && pwd)
shared=${TARN_SHARED_DATA:-$here/../shared/data}
tarn=$(cd "$build" && pwd)/tarn
train=$(cd "$build" && pwd)/Training/trainer/tarn-train
limit=${BAD_FILES_SECONDS:-20}
mkdir -p "$scratch"
cd "$scratch" || exit 2
failures=0
printf '| file | damage | runs | said so | status not 0 | crash, hang or report |\n|---|---|---|---|---|---|\n'

# Writes damaged copies of $1 as $2.N for the damage $3; prints how many.
damage() {
    local good=$1 out=$2 how=$3 size
    size=$(stat -c %s "$good")
    rm -rf "$out".*
    case $how in
    empty) : >"$out.0" && echo 1 ;;
    truncated)
        # Every length up to 64 bytes, then 40 lengths spread over the file.
        local n=0 len
        for len in $(seq 1 64) $(seq $((size / 41)) $((size / 41)) $((size - 1)) | head -40); do
            [ "$len" -lt "$size" ] || continue
            head -c "$len" "$good" >"$out.$n"
            n=$((n + 1))
        done
        echo $n
        ;;
    flipped)
        # 30 copies with 1 to 8 random bytes changed, at seeded places.
        local n
        for n in $(seq 0 29); do
            python3 - "$good" "$out.$n" "$n" <<'EOF'
import random, sys
data = bytearray(open(sys.argv[1], 'rb').read())
r = random.Random(int(sys.argv[3]) * 7919 + len(data))
for _ in range(r.randint(1, 8)):
    i = r.randrange(min(len(data), 4096)) if r.random() < 0.5 else r.randrange(len(data))
    data[i] ^= 1 << r.randrange(8)
open(sys.argv[2], 'wb').write(data)
EOF
        done
        echo 30
        ;;
    huge)
        # The file followed by 64 MB of noise.
        cp "$good" "$out.0" && head -c $((64 << 20)) /dev/urandom >>"$out.0" && echo 1
        ;;
    garbage) head -c 100000 /dev/urandom >"$out.0" && echo 1 ;;
    directory) rm -rf "$out.0" && mkdir "$out.0" && echo 1 ;;
    missing) rm -rf "$out.0" && echo 1 ;;
    esac
}

# Runs a command with a time limit; classifies its end. Sets said, nonzero, bad.
classify() {
    local log=$1 status=$2 pattern=$3
    said=0 nonzero=0 bad=0
    grep -qiE "$pattern" "$log" && said=1
    [ "$status" -ne 0 ] && nonzero=1
    if [ "$status" -ge 124 ] || grep -qE 'Sanitizer|runtime error|Segmentation|Aborted' "$log"; then
        bad=1
    fi
}

# Tries every damaged copy of one kind; the runner gets the file's path as $1.
try_kind() {
    local kind=$1 good=$2 pattern=$3 runner=$4 how count i runs said_n nz_n bad_n
    for how in empty truncated flipped huge garbage directory missing; do
        count=$(damage "$good" "$scratch/$kind" "$how")
        runs=0 said_n=0 nz_n=0 bad_n=0
        for i in $(seq 0 $((count - 1))); do
            timeout "$limit" bash -c "$runner \"\$1\"" run "$scratch/$kind.$i" >"$scratch/log" 2>&1
            classify "$scratch/log" $? "$kind\.$i|$pattern"
            runs=$((runs + 1)) said_n=$((said_n + said)) nz_n=$((nz_n + nonzero))
            bad_n=$((bad_n + bad))
            if [ "$bad" -ne 0 ]; then
                cp "$scratch/$kind.$i" "$scratch/failed-$kind-$how-$i" 2>/dev/null
                cp "$scratch/log" "$scratch/failed-$kind-$how-$i.log"
            fi
        done
        failures=$((failures + bad_n))
        printf '| %s | %s | %d | %d | %d | %d |\n' "$kind" "$how" "$runs" "$said_n" "$nz_n" "$bad_n"
    done
}

# The engine with a command script; it must still answer a search after the bad file.
engine_with() {
    printf '%s\nposition fen 8/8/8/4k3/8/8/8/KQ6 w - - 0 1\ngo depth 3\nposition startpos\ngo depth 3\nisready\nquit\n' "$1" |
        "$tarn" 2>&1
}
run_network() { engine_with "setoption name NN_File value $1"; }
run_book() { engine_with "setoption name OwnBook value true
setoption name OwnBook_File value $1"; }
run_tables() {
    rm -rf "$scratch/tb" && mkdir "$scratch/tb"
    cp "$1" "$scratch/tb/KQvK.rtbw" 2>/dev/null || mkdir -p "$scratch/tb/KQvK.rtbw"
    cp "$shared/syzygy/KQvK.rtbz" "$scratch/tb/"
    engine_with "setoption name SyzygyPath value $scratch/tb"
}
run_config() { printf 'go depth 2\nquit\n' | "$tarn" -cfg "$1" 2>&1; }
run_pgn_book() { "$tarn" -mkbook "$1" </dev/null 2>&1; }
run_pgn_scan() { "$tarn" -scan_pgn2 "$1" -o "$scratch/scan.epd" </dev/null 2>&1; }
run_epd() { "$tarn" -d 2 -anepd "$1" -o "$scratch/an.epd" </dev/null 2>&1; }
run_records() {
    "$train" --data "$1" --out "$scratch/run" --epochs 1 --batch 64 --threads 1 2>&1
    "$train" --check "$tarn_net" "$1" 100 2>&1
}

export tarn train scratch shared
export -f engine_with run_network run_book run_tables run_config run_pgn_book run_pgn_scan \
    run_epd run_records

# Good files to start from.
head -n 300 "$shared/games-engine-selfplay.pgn" >"$scratch/good.pgn"
head -n 200 "$shared/openings-noob3moves.txt" | sed 's/$/ bm e4;/' >"$scratch/good.epd"
printf 'Hash 16\nThreads 1\nMoveOverhead 30\nContempt 5\n' >"$scratch/good.cfg"
sed 's/$/ ce 10;/' "$scratch/good.epd" | head -n 100 >"$scratch/rec.epd"
"$tarn" -epd2bin "$scratch/rec.epd" </dev/null >/dev/null 2>&1
tarn_net=$(ls "$here"/Source/eval/tarn-*.net 2>/dev/null | head -n 1)
export tarn_net
head -n 40000 "$shared/games-engine-selfplay.pgn" >"$scratch/many.pgn"
(cd "$scratch" && "$tarn" -mkbook many.pgn </dev/null >/dev/null 2>&1 && mv tmp_book.bin good.bin)

# "Said so": a line names the file, or (tables, whose file the engine finds by its own name)
# the table.
[ -n "$tarn_net" ] && try_kind network "$tarn_net" 'x^' run_network
[ -s "$scratch/good.bin" ] && try_kind book "$scratch/good.bin" 'x^' run_book
try_kind tablebase "$shared/syzygy/KQvK.rtbw" 'KQvK' run_tables
try_kind config "$scratch/good.cfg" 'x^' run_config
try_kind pgn-book "$scratch/good.pgn" 'x^' run_pgn_book
try_kind pgn-scan "$scratch/good.pgn" 'x^' run_pgn_scan
try_kind epd "$scratch/good.epd" 'x^' run_epd
[ -n "$tarn_net" ] && [ -s "$scratch/rec.bin" ] && try_kind records "$scratch/rec.bin" 'x^' run_records

echo
if [ "$failures" -ne 0 ]; then
    echo "bad files: $failures runs crashed, hung or drew a sanitizer report (kept in $scratch)"
    exit 1
fi
echo "bad files: every run ended cleanly"
