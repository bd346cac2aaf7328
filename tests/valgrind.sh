#!/bin/sh
# Runs the test suite under valgrind memcheck (not part of CI: it takes long).
# Each test executable runs once, all its tests in one process, with the
# environment ctest gives it; child processes (zip, unzip, the save child of
# the crash tests) run natively.
#   tests/valgrind.sh [BUILD_DIR [EXECUTABLE_NAME_PATTERN]]
# BUILD_DIR is a plain (not sanitized) build, default build-valgrind, made
# here when missing. Prints per executable the errors and the bytes
# definitely lost; fails when any executable has errors or failing tests.
set -eu

cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${1:-$ROOT/build-valgrind}
PATTERN=${2:-.}
LOGS=$BUILD/valgrind
JOBS=$(nproc 2>/dev/null || echo 2)

log() { printf '==> %s\n' "$*" >&2; }

if [ ! -f "$BUILD/build.ninja" ]; then
    log "configuring $BUILD"
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DZPC_BUILD_BENCH=OFF >/dev/null
fi
log "building"
cmake --build "$BUILD" -j "$JOBS"
rm -rf "$LOGS"
mkdir -p "$LOGS"

export QT_QPA_PLATFORM=offscreen
# Code that PCRE2 compiles at run time reads past texts in whole words and
# carries no symbols to suppress it by.
export QT_ENABLE_REGEXP_JIT=0
failed=""
total_errors=0
total_lost=0
for exe in $(find "$BUILD/tests" -type f -perm -u+x -name 'zpc_*_tests' | sort); do
    name=$(basename "$exe")
    echo "$name" | grep -Eq "$PATTERN" || continue
    log "memcheck: $name"
    status=0
    valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite \
        --show-leak-kinds=definite --num-callers=30 --error-exitcode=99 --child-silent-after-fork=yes \
        --suppressions="$ROOT/tests/valgrind.supp" --gen-suppressions=all \
        --log-file="$LOGS/$name.log" \
        "$exe" --gtest_brief=1 >"$LOGS/$name.out" 2>&1 || status=$?
    errors=$(sed -n 's/.*ERROR SUMMARY: \([0-9]*\) errors.*/\1/p' "$LOGS/$name.log" | tail -n 1)
    lost=$(sed -n 's/.*definitely lost: \([0-9,]*\) bytes.*/\1/p' "$LOGS/$name.log" | tail -n 1 | tr -d ,)
    tests=$(grep -E '^\[  (PASSED|FAILED)  \]' "$LOGS/$name.out" | tr '\n' ' ')
    printf '%-28s errors %-4s definitely lost %-8s %s\n' "$name" "${errors:-?}" "${lost:-0}" "$tests"
    total_errors=$((total_errors + ${errors:-0}))
    total_lost=$((total_lost + ${lost:-0}))
    [ "$status" -eq 0 ] || failed="$failed $name"
done
printf 'in all: %s errors, %s bytes definitely lost (logs in %s)\n' \
    "$total_errors" "$total_lost" "$LOGS"
if [ -n "$failed" ]; then
    log "errors or failing tests in:$failed"
    exit 1
fi
