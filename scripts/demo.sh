#!/usr/bin/env bash
# Installs what is needed, builds the two programs (and the simulator's USB
# library), starts the simulated reader as COM1 and opens VexaHost on it.
# Closing VexaHost stops the simulator. The tests are not built: build/ holds
# only what the demo runs.
# "demo.sh usb": the simulator is also a USB reader, and VexaHost loads the
# simulator's USB HID library (choose Settings > Reader Interface > USB).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
TESTS=0 "$root/scripts/build.sh" "$root/build" vexahost vexa-sim AtUsbHidSim

usb=()
[ "${1:-}" = usb ] && usb=(--usb)
"$root/build/sim/vexa-sim" --port COM1 "${usb[@]}" </dev/null &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
# The simulator publishes its port entry before it prints its device; give
# it a moment so that VexaHost finds COM1 at start.
for _ in $(seq 50); do
    [ -L "${XDG_CONFIG_HOME:-$HOME/.config}/Kestrune/VexaHost/ports/COM1" ] && break
    sleep 0.1
done
if [ "${1:-}" = usb ]; then
    LD_LIBRARY_PATH="$root/build/sim/usb${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" "$root/build/src/vexahost"
else
    "$root/build/src/vexahost"
fi
