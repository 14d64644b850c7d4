#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each from its committed seeds and
# dictionary (tests/fuzz/seeds/<target>, tests/fuzz/<target>.dict).
#
#   scripts/fuzz.sh                  short fixed run per target, as CI does:
#                                    200,000 inputs, -seed=1, fresh corpus
#   scripts/fuzz.sh --long           10,000,000 inputs per target, -seed=1;
#                                    the corpus grows in build-fuzz/corpus/<target>
#   scripts/fuzz.sh -max_total_time=3600 ...
#                                    any libFuzzer flags, growing corpus as --long
#   FUZZ_TARGETS="responses" scripts/fuzz.sh ...   only these targets
#   FUZZ_BUILD_DIR=/elsewhere scripts/fuzz.sh ...  another build folder
#
# Ends with one line per target (inputs run, findings, coverage, peak memory)
# and exits non-zero when a target finds anything; its input is kept as
# build-fuzz/findings/<target>-crash-* (rerun: build-fuzz/tests/fuzz/fuzz_<target> FILE).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh" --test # clang and LLVM
dir="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
# A small quarantine keeps AddressSanitizer's memory down: with the default
# 256 MB (and even with 64 MB) a long run of many sizes of strings grew past
# 1 GB.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=16}"
targets=(${FUZZ_TARGETS:-responses settings usb_reports sim_control sim_tags sim_requests loader hid_descriptor ndef tagdump})
declare -A maxlen=([responses]=600 [sim_control]=1024 [sim_tags]=1024 [sim_requests]=1024 [loader]=2000 [settings]=2048 [ndef]=2100 [tagdump]=4096)

cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DVEXA_FUZZ=ON -DVEXA_SANITIZE=ON >/dev/null
cmake --build "$dir" --target "${targets[@]/#/fuzz_}" make_seeds -j "${JOBS:-2}"

# The committed frame seeds must be what make_seeds writes today.
rm -rf "$dir/seeds-check"
"$dir/tests/fuzz/make_seeds" "$dir/seeds-check" >/dev/null
for f in "$dir"/seeds-check/*/*; do
    committed="$root/tests/fuzz/seeds/${f#"$dir/seeds-check/"}"
    if ! cmp -s "$f" "$committed"; then
        echo "fuzz: $committed differs from what make_seeds writes;" \
             "run $dir/tests/fuzz/make_seeds $root/tests/fuzz/seeds and commit" >&2
        exit 1
    fi
done

fresh=0
if [ $# -eq 0 ]; then
    set -- -runs=200000 -seed=1
    fresh=1
elif [ "$1" = "--long" ]; then
    shift
    set -- -runs=10000000 -seed=1 "$@"
fi

mkdir -p "$dir/findings" "$dir/logs"
summary=()
failed=0
for t in "${targets[@]}"; do
    corpus="$dir/corpus/$t"
    [ "$fresh" -eq 1 ] && rm -rf "$corpus"
    mkdir -p "$corpus"
    log="$dir/logs/$t.log"
    echo "== fuzz_$t $* (full output: $log)"
    status=0
    "$dir/tests/fuzz/fuzz_$t" -max_len="${maxlen[$t]:-1024}" -dict="$root/tests/fuzz/$t.dict" \
        -print_final_stats=1 -artifact_prefix="$dir/findings/$t-" "$@" \
        "$corpus" "$root/tests/fuzz/seeds/$t" >"$log" 2>&1 || status=$?
    grep -E '(INITED|DONE|^Done|ERROR|^SUMMARY|^stat::(number|peak))' "$log" || true
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -1)
    cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | cut -d' ' -f2 || true)
    if [ "$status" -eq 0 ]; then
        summary+=("fuzz_$t: ${runs:-?} inputs, 0 findings, ${cov:-?} edges, peak ${rss:-?} MB")
    else
        failed=$((failed + 1))
        summary+=("fuzz_$t: FAILED (exit $status) after ${runs:-?} inputs; see $log and $dir/findings")
    fi
done
echo "== fuzzing summary"
printf '%s\n' "${summary[@]}"
[ "$failed" -eq 0 ]
