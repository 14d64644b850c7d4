#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test through CTest:
# once plainly (the package test packages this same build) and once with
# AddressSanitizer and UndefinedBehaviorSanitizer; then a short seeded run of
# every fuzz target (scripts/fuzz.sh). Last, /etc must be as it was after
# the packages were installed: the tests write only into the clone, the
# build folders and temporary folders.
#
# Every stage runs even when an earlier one failed, so the end of the output
# always says what passed: one line per stage, then "Summary: N passed,
# N failed" counting the stages, with the tests and fuzz targets in brackets;
# the exit status is non-zero on any failure.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh" --test
export QT_QPA_PLATFORM=offscreen
etc_before="$(mktemp)"
"$root/scripts/etc-state.sh" >"$etc_before"

results=()
passed=0
failed=0
tests_passed=0
tests_failed=0
tests_skipped=0

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
    # CTest's own tally, e.g. "100% tests passed, 0 tests failed out of 15";
    # skipped tests count as passed there and are listed as "(Skipped)".
    local tally total bad skipped
    tally="$(grep -E 'tests passed, [0-9]+ tests? failed out of' "$log" | tail -1 || true)"
    skipped="$(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log" || true)"
    rm -f "$log"
    if [[ "$tally" =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
        bad="${BASH_REMATCH[1]}"
        total="${BASH_REMATCH[2]}"
        tests_failed=$((tests_failed + bad))
        tests_skipped=$((tests_skipped + skipped))
        tests_passed=$((tests_passed + total - bad - skipped))
        [ "$skipped" -eq 0 ] || tally="$tally, $skipped skipped"
    fi
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
fuzzlines="$(sed -n '/^== fuzzing summary/,$p' "$fuzzlog" | grep '^fuzz_' || true)"
fuzz_targets="$(grep -c . <<<"$fuzzlines" || true)"
fuzz_findings="$(grep -c 'FAILED' <<<"$fuzzlines" || true)"
rm -f "$fuzzlog"
record "fuzz" "$status" "$(paste -sd ';' - <<<"${fuzzlines:-no fuzzing summary (exit $status)}" | sed 's/;/; /g')"

echo "== /etc after the tests"
if "$root/scripts/etc-state.sh" | diff -u "$etc_before" -; then
    record "/etc unchanged" 0 "nothing in /etc was written, added or removed"
else
    record "/etc unchanged" 1 "the tests changed /etc (the differences are above)"
fi
rm -f "$etc_before"

echo "== test summary"
printf '%s\n' "${results[@]}"
skipped_text=""
[ "$tests_skipped" -eq 0 ] || skipped_text=", $tests_skipped skipped"
echo "Summary: $passed passed, $failed failed (tests: $tests_passed passed, $tests_failed failed$skipped_text;" \
    "fuzz: $fuzz_targets targets, $fuzz_findings findings)"
[ "$failed" -eq 0 ]
