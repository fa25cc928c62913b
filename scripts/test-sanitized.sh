#!/usr/bin/env bash
# Builds the program and every test with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs there what those checks can find (CTest's label "sanitize"): every test
# that runs in its own process, the hostile pages, and the browser tests of the hidden instance
# and the kept documents, which read what pages send. Not the end-to-end click-through, nor the
# tests that only place windows or drive the real browser's input: their code is the same as
# the in-process tests', and under the sanitizers they only run slower. The first report of
# either sanitizer ends its test. The
# browser itself is the system's and is not sanitized. Leak checking needs no suppressions
# here: no test process leaks, Qt and fontconfig included. (The program's own End and fatal
# reports leave through _exit, where no leak check runs.)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-asan"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_SANITIZE=ON \
    -DQUILLON_BENCH=OFF
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
cd "$build"
ctest --output-on-failure -j "$(nproc)" -L sanitize "$@"
