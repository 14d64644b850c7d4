#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test through CTest:
# once plainly and once with AddressSanitizer and UndefinedBehaviorSanitizer;
# then a short seeded run of every fuzz target (scripts/fuzz.sh).
#
# Every stage runs even when an earlier one failed, so the end of the output
# always says what passed: one line per stage, then "Summary: N passed,
# N failed" counting the stages; the exit status is non-zero on any failure.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
export QT_QPA_PLATFORM=offscreen

results=()
passed=0
failed=0

record() { # stage name, exit status, detail
    if [ "$2" -eq 0 ]; then
        passed=$((passed + 1))
        results+=("PASS  $1: $3")
    else
        failed=$((failed + 1))
        results+=("FAIL  $1: $3")
    fi
}

ctest_stage() { # stage name, build folder, extra environment for the build
    local name="$1" dir="$2" status=0 log
    log="$(mktemp)"
    if ! env "${@:3}" "$root/scripts/build.sh" "$dir"; then
        record "$name" 1 "build failed"
        return
    fi
    (cd "$dir" && ctest --output-on-failure --timeout 600) 2>&1 | tee "$log" || status=$?
    # CTest's own tally, e.g. "100% tests passed, 0 tests failed out of 15".
    local tally
    tally="$(grep -E 'tests passed, [0-9]+ tests? failed out of' "$log" | tail -1 || true)"
    rm -f "$log"
    record "$name" "$status" "${tally:-no CTest tally (exit $status)}"
}

echo "== plain build"
ctest_stage "plain CTest" "$root/build-tests"
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
ctest_stage "sanitizer CTest" "$root/build-asan" SANITIZE=1
echo "== fuzzing: every target, short seeded run"
fuzzlog="$(mktemp)"
status=0
"$root/scripts/fuzz.sh" 2>&1 | tee "$fuzzlog" || status=$?
fuzzlines="$(sed -n '/^== fuzzing summary/,$p' "$fuzzlog" | grep '^fuzz_' | paste -sd ';' - | sed 's/;/; /g' || true)"
rm -f "$fuzzlog"
record "fuzz" "$status" "${fuzzlines:-no fuzzing summary (exit $status)}"

echo "== test summary"
printf '%s\n' "${results[@]}"
echo "Summary: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
