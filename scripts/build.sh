#!/usr/bin/env bash
# Builds VexaHost into build/ (or the folder given), with -DVEXA_SANITIZE=ON
# when SANITIZE=1. Two jobs: the machines this runs on are small.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build}"
args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
[ "${SANITIZE:-0}" = 1 ] && args+=(-DVEXA_SANITIZE=ON)
cmake -S "$root" -B "$dir" "${args[@]}" >/dev/null
cmake --build "$dir" -j "${JOBS:-2}"
