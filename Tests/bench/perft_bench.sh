#!/usr/bin/env bash
# Perft leaf speed of the engine on the start position (depth 6) and Kiwipete (depth 5), and,
# when a reference engine with a "go perft" command is installed, its time on the same trees.
# Usage: perft_bench.sh BUILD_DIR [REFERENCE_ENGINE]
set -euo pipefail
build=${1:-build}
reference=${2:-/usr/games/stockfish}
"$build/tarn_perft" bench
if [ -x "$reference" ]; then
    start=$(date +%s.%N)
    printf 'position startpos\ngo perft 6\nposition fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1\ngo perft 5\nquit\n' |
        "$reference" >/dev/null
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" 'BEGIN { t = e - s; printf "reference engine (%s): 312751014 leaves  %7.3f s  %6.2f M leaves/s\n", "'"$reference"'", t, 312.751014 / t }'
fi
