#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# into build-fuzz/ and runs each for SECONDS (default 60) on its corpus, as many at a time as
# there are cores. The committed seeds stay as they are: each run grows a working corpus in
# build-fuzz/corpus/. A crash, a broken property, a leak or a hang ends the run with its input
# saved in build-fuzz/findings/.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(tidy field_reader theme_meaning edit_round_trip devtools_pipe list_answer)

# Only fuzzing needs clang and its runtime; the normal build does not.
bash "$root/scripts/install-missing.sh" clang-14 libclang-rt-14-dev

build="$root/build-fuzz"
# Debug keeps Qt's own bounds checks of its inline containers; -O1 keeps the runs fast.
cmake -S "$root" -B "$build" -G Ninja -DQUILLON_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" >/dev/null
cmake --build "$build" --target fuzzers -j "$(nproc)"

export QT_NO_GLIB=1
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# One target's run; its summary is printed once it has ended, so that runs side by side never
# mix their lines.
fuzz_one() {
    local target=$1 corpus="$build/corpus/$1" findings="$build/findings/$1/" status=0
    mkdir -p "$corpus" "$findings"
    "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$findings" \
        "$corpus" "$root/fuzz/corpus/$target" 2>"$build/fuzz_$target.log" || status=1
    {
        echo "== fuzz_$target for ${seconds}s"
        ((status == 0)) || echo "fuzz_$target: FINDING, see $build/fuzz_$target.log and $findings"
        grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb|SUMMARY|property)' \
            "$build/fuzz_$target.log" || true
    } | flock "$build/fuzz.out" cat
    return $status
}

# As many targets at a time as there are cores.
status=0
running=0
for target in "${targets[@]}"; do
    if ((running >= $(nproc))); then
        wait -n || status=1
        running=$((running - 1))
    fi
    fuzz_one "$target" &
    running=$((running + 1))
done
while ((running > 0)); do
    wait -n || status=1
    running=$((running - 1))
done
exit $status
