#!/usr/bin/env bash
# Builds VexaHost into build/ (or the folder given): everything, or only the
# targets named after the folder. With -DVEXA_SANITIZE=ON when SANITIZE=1;
# without the tests and benchmarks when TESTS=0. Two jobs: the machines this
# runs on are small.
#   build.sh [FOLDER [TARGET...]]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build}"
[ $# -gt 0 ] && shift
args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
[ "${SANITIZE:-0}" = 1 ] && args+=(-DVEXA_SANITIZE=ON)
if [ "${TESTS:-1}" = 0 ]; then args+=(-DVEXA_BUILD_TESTS=OFF); else args+=(-DVEXA_BUILD_TESTS=ON); fi
cmake -S "$root" -B "$dir" "${args[@]}" >/dev/null
targets=()
[ $# -gt 0 ] && targets=(--target "$@")
cmake --build "$dir" -j "${JOBS:-2}" "${targets[@]}"
