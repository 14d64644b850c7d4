#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test through CTest:
# once plainly and once with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
export QT_QPA_PLATFORM=offscreen

run() {
    local dir="$1"
    "$root/scripts/build.sh" "$dir"
    (cd "$dir" && ctest --output-on-failure --timeout 600)
}

echo "== plain build"
run "$root/build-tests"
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
SANITIZE=1 run "$root/build-asan"
echo "== fuzzing the reception and every report (short fixed run)"
"$root/scripts/fuzz.sh"
