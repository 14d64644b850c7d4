#!/usr/bin/env bash
# Which functions the fuzz targets reach in their first inputs: builds the
# targets with clang's source-based coverage (no sanitizers), runs each for
# 100,000 inputs (-seed=1) from its seeds, and prints the execution count of
# every function in the files each target stands guard over; a count of 0
# means not reached. Needs llvm-cov, llvm-profdata and jq.
#
#   scripts/fuzz-coverage.sh [runs]        (default 100000)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$root/build-fuzz-cov"
runs="${1:-100000}"
flags="-fprofile-instr-generate -fcoverage-mapping"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DVEXA_FUZZ=ON -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
declare -A files=(
    [responses]="src/core/wire/reception.cpp src/core/wire/report.cpp src/core/codecs/tagcodec.cpp src/core/codecs/management.cpp
                 src/core/codecs/tagitreport.cpp src/core/codecs/iso15693report.cpp src/core/codecs/iso14443.cpp"
    [sim_control]="sim/control.cpp sim/tagline.cpp"
    [sim_tags]="sim/tagline.cpp"
    [sim_requests]="sim/frameassembler.cpp sim/readermodel.cpp sim/readercommands.cpp sim/tagcollection.cpp
                    sim/iso15693tag.cpp sim/tagittag.cpp"
    [settings]="src/core/settings/settingsstore.cpp"
    [usb_reports]="src/core/wire/usbreports.cpp"
    [loader]="src/core/loader/loaderprotocol.cpp src/core/loader/firmwaretransfer.cpp sim/bootloader.cpp"
    [hid_descriptor]="src/usb/hiddescriptor.cpp"
    [ndef]="src/core/codecs/ndef.cpp src/core/codecs/ndefrecords.cpp"
)
declare -A maxlen=([responses]=600 [sim_control]=1024 [sim_tags]=1024 [sim_requests]=1024 [settings]=2048
                   [usb_reports]=1024 [loader]=2000 [hid_descriptor]=1024 [ndef]=2100)
for t in ${FUZZ_TARGETS:-responses sim_control sim_tags sim_requests settings usb_reports loader hid_descriptor ndef}; do
    cmake --build "$dir" --target "fuzz_$t" -j "${JOBS:-2}" >/dev/null
    work="$dir/run-$t"
    rm -rf "$work" && mkdir -p "$work/corpus"
    LLVM_PROFILE_FILE="$work/fuzz.profraw" "$dir/tests/fuzz/fuzz_$t" -runs="$runs" -seed=1 \
        -max_len="${maxlen[$t]}" -dict="$root/tests/fuzz/$t.dict" "$work/corpus" "$root/tests/fuzz/seeds/$t" \
        >"$work/fuzz.log" 2>&1
    llvm-profdata merge -sparse "$work/fuzz.profraw" -o "$work/fuzz.profdata"
    echo "== fuzz_$t: executions of each function of" ${files[$t]} "in the first $runs inputs"
    pattern="/($(echo ${files[$t]} | sed 's/ /|/g'))\$"
    llvm-cov export -format=text -instr-profile="$work/fuzz.profdata" "$dir/tests/fuzz/fuzz_$t" \
        | jq -r --arg re "$pattern" '.data[0].functions[] | select(.filenames[0] | test($re))
              | "\(.count)\t\(.name)"' \
        | c++filt | sort -t$'\t' -k2 | awk -F'\t' '{printf "%12s  %s%s\n", $1, $2, ($1 == 0 ? "   <- not reached" : "")}'
done
