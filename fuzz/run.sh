#!/usr/bin/env bash
# Builds the libFuzzer targets in their own clang build and runs each one.
#   run.sh [--smoke] BUILD_DIR SECONDS
# Every target first runs every file kept for it (the starting files in fuzz/corpus/NAME and
# the faults found earlier in fuzz/regressions/NAME), each file under VELMORA_FUZZ_SLOW_MS;
# then it fuzzes for SECONDS with the allocation and memory limits, and its executions are
# reported. Inputs it adds go to BUILD_DIR/fuzz-corpus/NAME (a scratch folder with --smoke, the
# short run of the tests); a crash or slow input is left in BUILD_DIR/fuzz-artifacts/NAME, to be
# kept in fuzz/regressions.
set -uo pipefail
smoke=0
if [ "${1:-}" = "--smoke" ]; then smoke=1; shift; fi
build=${1:?build folder}
seconds=${2:-60}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
targets=${FUZZ_TARGETS:-"integer_text jpeg_decoder monitor_datagrams profile_file command_parser frame_assembler wall_datagrams stream_datagrams"}
slow_ms=${FUZZ_SLOW_MS:-50}

if ! command -v clang++ >/dev/null; then
    echo "skipped: clang++ is not installed (make fuzz installs clang and libclang-rt-14-dev)"
    exit 77
fi
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const char *, unsigned long) { return 0; }' \
    >"$probe/probe.cpp"
if ! clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
    echo "skipped: clang++ cannot link -fsanitize=fuzzer (libclang-rt-14-dev missing?)"
    exit 77
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build" -DVELMORA_FUZZ=ON \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null || exit 1
fi
cmake --build "$build" -j "${JOBS:-2}" --target velmora_fuzzers >/dev/null || exit 1

failed=0
for target in $targets; do
    binary="$build/fuzz/fuzz_$target"
    seeds="$source_dir/fuzz/corpus/$target"
    regressions="$source_dir/fuzz/regressions/$target"
    work="$build/fuzz-corpus/$target"
    [ $smoke -eq 1 ] && work="$probe/$target"
    mkdir -p "$work" "$build/fuzz-artifacts/$target"
    inputs=$(find "$seeds" "$regressions" -type f 2>/dev/null)
    if [ -n "$inputs" ]; then
        # shellcheck disable=SC2086
        if ! VELMORA_FUZZ_SLOW_MS=$slow_ms "$binary" -rss_limit_mb=2048 -malloc_limit_mb=64 \
            $inputs >"$build/fuzz-artifacts/$target/replay.log" 2>&1; then
            echo "FAIL $target: a kept file fails; see $build/fuzz-artifacts/$target/replay.log"
            failed=1
            continue
        fi
    fi
    slowest=$(grep -o 'slowest [0-9.]* ms' "$build/fuzz-artifacts/$target/replay.log" | tail -1)
    log="$build/fuzz-artifacts/$target/fuzz.log"
    "$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=64 -timeout=2 \
        -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$target/" \
        "$work" "$seeds" >"$log" 2>&1
    status=$?
    execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
    if [ $status -ne 0 ]; then
        echo "FAIL $target after ${execs:-?} executions; see $log and $build/fuzz-artifacts/$target/"
        failed=1
    else
        echo "ok   $target: ${execs:-?} executions in ${seconds} s; replay ${slowest:-no inputs}"
    fi
done
exit $failed
