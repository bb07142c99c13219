#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each harness for FUZZ_SECONDS seconds (default 60). Each
# harness builds its inputs on the tests' generators, so the empty input is already a whole file
# and no seed corpus is needed. Fails when any harness finds a crash or a broken invariant; the
# input is kept under <build>/fuzz/artifacts/<harness>/.
#
#   FUZZ_SECONDS   time per harness (default 60)
#   FUZZ_BUILD_DIR build folder (default build-fuzz)
#   FUZZ_JOBS      parallel compile jobs (default: the number of cores)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
build=${FUZZ_BUILD_DIR:-build-fuzz}
jobs=${FUZZ_JOBS:-$(nproc 2>/dev/null || echo 2)}
harnesses=(archive settings navigator convert)
start=$(date +%s)

# Every library is compiled with coverage instrumentation (fuzzer-no-link) as well as the
# sanitizers, so that libFuzzer sees the paths taken inside the code under test.
mkdir -p "$build"
cmake -S . -B "$build" -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DTOLLVIK_FUZZ=ON \
    "-DTOLLVIK_SANITIZE=address;undefined" \
    -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
    >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" --target fuzzers -j "$jobs"

work="$build/fuzz"

# The harnesses write their scratch files under TMPDIR; memory is much faster than the disk for
# the navigator's megabyte files.
scratch_parent=${TMPDIR:-/tmp}
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    scratch_parent=/dev/shm
fi
scratch=$(mktemp -d "$scratch_parent/tollvik-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

failed=()
for h in "${harnesses[@]}"; do
    corpus="$work/corpus/$h"
    artifacts="$work/artifacts/$h"
    log="$work/$h.log"
    mkdir -p "$corpus" "$artifacts"
    echo "== fuzz_$h for ${seconds}s"
    # Without seeds, inputs may grow to their full length at once.
    if TMPDIR="$scratch" "$build/fuzz-bin/fuzz_$h" \
        -max_total_time="$seconds" -timeout=60 -rss_limit_mb=3072 -print_final_stats=1 \
        -len_control=0 -max_len=1024 \
        -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1; then
        grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
        grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true
    else
        echo "fuzz_$h FAILED; its log ends:"
        tail -n 60 "$log"
        echo "Reproduce with: $build/fuzz-bin/fuzz_$h $artifacts/<crash file>"
        failed+=("$h")
    fi
done

echo "fuzzing took $(($(date +%s) - start))s"
if [ ${#failed[@]} -gt 0 ]; then
    echo "crashes in: ${failed[*]}"
    exit 1
fi
