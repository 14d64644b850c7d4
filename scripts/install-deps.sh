#!/usr/bin/env bash
# Installs the Debian packages VexaHost needs to build, run and test.
# Runs as root (or through sudo); does nothing when everything is there.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev
    libhidapi-dev libudev-dev
    fonts-liberation hicolor-icon-theme dpkg-dev
    clang libclang-rt-14-dev llvm jq
    xvfb dbus-x11 at-spi2-core python3-pyatspi
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# The udev rule that lets the logged-in user open a USB reader's hidraw node.
rule_src="$(cd "$(dirname "$0")/.." && pwd)/dist/70-vexa-reader.rules"
rule_dst=/etc/udev/rules.d/70-vexa-reader.rules
if ! cmp -s "$rule_src" "$rule_dst" 2>/dev/null; then
    $sudo install -D -m 0644 "$rule_src" "$rule_dst"
    command -v udevadm >/dev/null && $sudo udevadm control --reload-rules 2>/dev/null || true
fi

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
