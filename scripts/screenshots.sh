#!/usr/bin/env bash
# Makes the README's pictures of the main window: builds the screenshot
# driver, starts a virtual X display, and drives the real window against the
# simulated reader. Writes docs/images/mainwindow-*.png.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
# Only the pictures need a virtual display.
if ! command -v xvfb-run >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends xvfb xauth
fi
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
TESTS=0 "$root/scripts/build.sh" "$root/build" vexa-screenshots >"$log" 2>&1 || { cat "$log"; exit 1; }
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$root/build/tools/screenshots/vexa-screenshots" "$root/docs/images"
