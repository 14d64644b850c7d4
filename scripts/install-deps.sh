#!/usr/bin/env bash
# Installs the Debian packages VexaHost needs. Runs as root (or through
# sudo); does nothing when everything is there.
#   install-deps.sh          what building, packaging (cpack) and running the
#                            programs needs (the demo asks only for this)
#   install-deps.sh --test   also what the test command needs: clang and
#                            LLVM for fuzzing, and the tools the package
#                            test checks the package with, and a virtual
#                            desktop with its accessibility bus, and an MQTT
#                            broker with its command-line clients and openssl
#                            for test certificates (the tests start their
#                            own broker on a free port)
# It only installs packages and writes no file of its own: the udev rule for
# USB readers comes with the package, or from scripts/install-udev-rule.sh.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev
    libhidapi-dev libudev-dev libxlsxwriter-dev zlib1g-dev libmosquitto-dev libssl-dev
    fonts-liberation hicolor-icon-theme
    dpkg-dev file
)
if [ "${1:-}" = --test ]; then
    packages+=(
        clang libclang-rt-14-dev llvm jq
        lintian appstream desktop-file-utils man-db
        xvfb dbus-x11 at-spi2-core python3-pyatspi
        mosquitto mosquitto-clients openssl
    )
elif [ $# -gt 0 ]; then
    echo "usage: install-deps.sh [--test]" >&2
    exit 2
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
