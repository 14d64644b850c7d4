#!/usr/bin/env bash
# The manuals against the programs they describe: the options --help lists
# are the options the manual's OPTIONS section lists, --version prints what
# the manual says it prints, neither needs a display, an argument the
# program does not take is refused, and each page renders without a warning.
# Usage: check-manuals.sh VEXAHOST VEXA_SIM MANUAL_FOLDER [VEXACTL [VEXA_AGENT]]
set -euo pipefail
vexahost="$1"
sim="$2"
manuals="$3"
ctl="${4:-}"
agent="${5:-}"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# "-h, --help" and "--port <COMn>" lines of a --help text, one option a line.
help_options() {
    grep -E '^ +(-[a-zA-Z], )?--[a-z]' | grep -oE -- '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,' | sort -u
}
# The option that each .TP paragraph of OPTIONS introduces.
manual_options() {
    sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$1" | awk 'tp { print; tp = 0 } /^\.TP/ { tp = 1 }' |
        sed 's/\\-/-/g' | grep -oE -- '(^|[ "])--?[a-z][a-z-]*' | tr -d ' "' | sort -u
}

check() { # program, manual page
    local program="$1" page="$2" name help version
    name="$(basename "$program")"
    help="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help 2>&1)" ||
        { fail "$name --help without a display: $help"; return; }
    if ! diff <(help_options <<<"$help") <(manual_options "$page") >/dev/null; then
        fail "$name: --help and $(basename "$page") list different options:"
        diff -u <(help_options <<<"$help") <(manual_options "$page") | sed -n '3,$p' >&2 || true
    fi
    version="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --version 2>&1)" ||
        { fail "$name --version without a display: $version"; return; }
    grep -qF "\"$version\"" <(sed 's/\\-/-/g' "$page") ||
        fail "$name --version prints \"$version\", which $(basename "$page") does not say"
    [ "$(env QT_QPA_PLATFORM=offscreen "$program" --no-such-option >/dev/null 2>&1; echo $?)" = 2 ] ||
        fail "$name takes --no-such-option instead of refusing it with exit status 2"
    # What lintian asks of a manual: no warning from man or groff.
    local warnings
    warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)"
    [ -z "$warnings" ] || fail "$(basename "$page") renders with warnings: $warnings"
}

command -v man >/dev/null || { echo "FAIL: man is missing; run scripts/install-deps.sh --test" >&2; exit 1; }
check "$vexahost" "$manuals/vexahost.1"
check "$sim" "$manuals/vexa-sim.1"
[ -z "$ctl" ] || check "$ctl" "$manuals/vexactl.1"
[ -z "$agent" ] || check "$agent" "$manuals/vexa-agent.1"
[ "$failures" -eq 0 ] || exit 1
echo "manuals: options, version and rendering agree with the programs"
