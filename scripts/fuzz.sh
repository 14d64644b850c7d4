#!/usr/bin/env bash
# Builds the libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs it. Default: a short fixed run, as
# CI does. Longer: scripts/fuzz.sh -max_total_time=3600 (any libFuzzer flags).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$root/build-fuzz"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DVEXA_FUZZ=ON -DVEXA_SANITIZE=ON >/dev/null
cmake --build "$dir" --target fuzz_responses -j "${JOBS:-2}"
corpus="$dir/corpus"
mkdir -p "$corpus"
if [ $# -eq 0 ]; then
    set -- -runs=200000 -seed=1
fi
"$dir/tests/fuzz/fuzz_responses" -max_len=600 "$@" "$corpus"
