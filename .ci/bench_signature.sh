#!/usr/bin/env bash
# Checks that the engine's bench node count matches the newest "Bench: N" line in the commit
# history. The count comes from a single-thread benchmark at a fixed depth, so any change in
# search or evaluation behaviour shows up here unless its commit records the new value.
# Usage: bench_signature.sh ENGINE_BINARY
set -euo pipefail
engine=$1
depth=12
actual=$("$engine" -pbench -d $depth | sed -n 's/^total time=.*nodes= \([0-9]*\),.*/\1/p')
expected=$(git log --format=%B 2>/dev/null | sed -n 's/^Bench: \([0-9]*\)$/\1/p' | head -n 1)
if [ -z "$actual" ]; then
    echo "bench signature: the benchmark printed no total" >&2
    exit 1
fi
if [ -z "$expected" ]; then
    echo "bench signature: $actual (no recorded value in the history)"
    exit 0
fi
if [ "$actual" != "$expected" ]; then
    echo "bench signature mismatch: got $actual, the history records $expected" >&2
    exit 1
fi
echo "bench signature: $actual matches"
