#!/bin/sh
# Bounded fuzzing run of the setup file reader: fuzz/run.sh [SECONDS] (default 60).
# Builds build-fuzz with clang when needed (EMU_FUZZ_BUILD picks another directory). The starting
# inputs in fuzz/corpus stay untouched; new inputs go to a working corpus in the build directory, and
# a crashing input is saved there as crash-* (turn each into a test in tests/fuzz).
# Exits non-zero when the fuzzer finds a crash, a leak or a failed round trip.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${EMU_FUZZ_BUILD:-$root/build-fuzz}
seconds=${1:-60}

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DEMU_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
ninja -C "$build" fuzz_setupfile >/dev/null

work="$build/fuzz-setupfile"
mkdir -p "$work/corpus" "$work/artifacts"
status=0
"$build/bin/fuzz_setupfile" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
    -print_final_stats=1 -dict="$here/setupfile.dict" -artifact_prefix="$work/artifacts/" \
    "$work/corpus" "$here/corpus" || status=$?
if [ "$status" -ne 0 ]; then
    echo "fuzz/run.sh: the fuzzer stopped with status $status; inputs in $work/artifacts" >&2
    exit "$status"
fi
echo "fuzz/run.sh: no crash in ${seconds} s"
