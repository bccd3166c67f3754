#!/bin/sh
# The front door's packaging targets as a framework uses them. "make EXE=NAME" is checked as a
# dry run, so that nothing is built twice.
# Usage: make_targets_test.sh SOURCE_DIR
set -eu
src=$1
fail() {
    echo "make targets: $*" >&2
    exit 1
}

exe=$(make -n -C "$src" EXE=tarn-under-test)
echo "$exe" | grep -q -- "--target tarn$" || fail "make EXE=NAME does not build the engine alone"
echo "$exe" | grep -q -- "-DTARN_TESTS=OFF" || fail "make EXE=NAME would need GoogleTest"
echo "$exe" | grep -qx "cp build-exe/tarn tarn-under-test" ||
    fail "make EXE=NAME does not copy the engine to ./NAME"
make -n -C "$src" test | grep -q "ctest" || fail "make test no longer runs the tests"
echo "make targets: EXE works"
