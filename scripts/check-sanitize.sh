#!/usr/bin/env bash
# The test suite under the sanitizers, each in a build folder of its own beside build/:
#   build-asan/  AddressSanitizer + UndefinedBehaviorSanitizer (with LeakSanitizer): every test;
#   build-tsan/  ThreadSanitizer: the audio tests and every test labelled `preview` (the window's
#                play buttons), and only the targets they need.
# Any report ends the run with a failure. Everything runs on Qt's offscreen platform and SDL's
# dummy audio driver, never on the user's display: under X, libdbus leaks a little per run and
# ThreadSanitizer raises false alarms in Qt's xcb plugin and in glib.
#
# Suppressions, each commented with the library it is for:
#   tests/audio/tsan-qt.supp  ThreadSanitizer, Qt's uninstrumented internals
#   tests/audio/lsan.supp     LeakSanitizer, libraries outside this project
#
# The builds are Debug builds, so that Qt's and our assertions stay on, compiled with -O1 and
# line tables only (-g1): every report still names file and line, and the two builds compile in
# well under half the time of -O2 -g.
#
# Environment: ASAN_DIR, TSAN_DIR (build folders), SANITIZE_CFLAGS (default "-O1 -g1"),
# JOBS (default: the number of processors).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

ASAN_DIR=${ASAN_DIR:-build-asan}
TSAN_DIR=${TSAN_DIR:-build-tsan}
SANITIZE_CFLAGS=${SANITIZE_CFLAGS:--O1 -g1}
JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}

unset DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=offscreen
export SDL_AUDIODRIVER=dummy

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/tests/audio/lsan.supp:print_suppressions=0"
# The audio tests name the same suppressions in their own TSAN_OPTIONS; a report fails a test
# either way (ThreadSanitizer's exit code 66).
export TSAN_OPTIONS="suppressions=$root/tests/audio/tsan-qt.supp:halt_on_error=1:second_deadlock_stack=1"

start=$SECONDS
phase() {
    printf '\n== %s (%d s so far)\n' "$1" $((SECONDS - start))
}

configure() {
    local dir=$1 sanitize=$2
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_C_FLAGS_DEBUG="$SANITIZE_CFLAGS" -DCMAKE_CXX_FLAGS_DEBUG="$SANITIZE_CFLAGS" \
        -DTOLLVIK_SANITIZE="$sanitize" -DTOLLVIK_BENCH=OFF -DTOLLVIK_FUZZ=OFF >/dev/null
}

# The tests defined in a folder of a build tree, one name a line.
test_names() {
    ctest --test-dir "$@" -N | sed -n 's/^ *Test *#[0-9]*: //p'
}

phase "AddressSanitizer + UndefinedBehaviorSanitizer: build in $ASAN_DIR"
configure "$ASAN_DIR" "address;undefined"
cmake --build "$ASAN_DIR" -j "$JOBS"
phase "AddressSanitizer + UndefinedBehaviorSanitizer: whole test suite"
ctest --test-dir "$ASAN_DIR" --output-on-failure --no-tests=error -j "$JOBS"
asan_done=$SECONDS

phase "ThreadSanitizer: build in $TSAN_DIR"
configure "$TSAN_DIR" "thread"
tsan_tests=$({
    test_names "$TSAN_DIR/tests/audio"
    test_names "$TSAN_DIR" -L preview
} | sort -u)
if [ -z "$tsan_tests" ]; then
    echo "no audio or preview tests found in $TSAN_DIR" >&2
    exit 1
fi
# One executable may carry several tests ("test_audio_startup.<case>").
mapfile -t tsan_targets < <(sed 's/\..*//' <<<"$tsan_tests" | sort -u)
cmake --build "$TSAN_DIR" -j "$JOBS" --target "${tsan_targets[@]}"
phase "ThreadSanitizer: $(wc -l <<<"$tsan_tests") audio and preview tests"
tsan_regex="^($(sed 's/[.]/\\./g' <<<"$tsan_tests" | paste -sd '|'))\$"
ctest --test-dir "$TSAN_DIR" --output-on-failure --no-tests=error -j "$JOBS" -R "$tsan_regex"

printf '\n== Sanitizer runs clean: AddressSanitizer + UndefinedBehaviorSanitizer %d s, ThreadSanitizer %d s, total %d s\n' \
    $((asan_done - start)) $((SECONDS - asan_done)) $((SECONDS - start))
