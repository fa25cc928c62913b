#!/usr/bin/env bash
# Builds the program and every test with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs the whole suite there; the first report of either ends its test. The
# browser itself is the system's and is not sanitized. Leak checking needs no suppressions
# here: no test process leaks, Qt and fontconfig included. (The program's own End and fatal
# reports leave through _exit, where no leak check runs.)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-asan"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_SANITIZE=ON
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
cd "$build"
xvfb-run -a -s "-screen 0 1280x800x24 -noreset" ctest --output-on-failure "$@"
