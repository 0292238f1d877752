#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time
# from its committed corpus. Usage: scripts/fuzz.sh [seconds per target]
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds=${1:-30}
build_dir=build-fuzz

cmake -S fuzz -B "$build_dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build_dir"

for target in hexcodec rcvdisplay; do
    # New inputs go to a scratch copy, so the committed corpus stays as it is.
    scratch=$(mktemp -d)
    cp fuzz/corpus/$target/* "$scratch"/
    echo "fuzzing $target for ${seconds}s"
    "$build_dir/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build_dir/$target-" "$scratch" 2>&1 | tail -n 12
    status=${PIPESTATUS[0]}
    rm -rf "$scratch"
    [[ $status -eq 0 ]] || { echo "fuzzing $target failed" >&2; exit 1; }
done
