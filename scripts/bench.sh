#!/usr/bin/env bash
# Builds the benchmarks (RelWithDebInfo, -DTOLLVIK_BENCH=ON) in build-bench/ and runs each one,
# printing one line per figure with its target and a summary. The full output of every
# benchmark is kept in build-bench/bench-logs/. Exits non-zero when a figure misses its target
# or a benchmark fails to run.
#
#   BENCH_BUILD_DIR   build folder (default build-bench)
#   JOBS              parallel build jobs (default: the number of processors)
set -uo pipefail

cd "$(dirname "$0")/.."
BUILD=${BENCH_BUILD_DIR:-build-bench}
JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLLVIK_BENCH=ON >/dev/null ||
    exit 2
cmake --build "$BUILD" -j "$JOBS" --target bench_archive bench_patcher bench_audio bench_startup \
    bench_convert bench_device bench_hostile ||
    exit 2

# No display and no sound device needed: Qt's offscreen platform, SDL's dummy output.
export QT_QPA_PLATFORM=offscreen
export SDL_AUDIODRIVER=dummy
LOGS="$BUILD/bench-logs"
mkdir -p "$LOGS"
RUNTIME=$(mktemp -d)
pulse_pid=
# The sound server started below goes too, however the script ends.
trap '[ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null; rm -rf "$RUNTIME"' EXIT
export XDG_RUNTIME_DIR="$RUNTIME"

passed=0
failed=()
lines=()

# run ID NAME TARGET PATTERN UNIT COMMAND...: runs the benchmark with its output in ID.log and
# takes the first number after PATTERN in that output as the figure.
run() {
    local id=$1 name=$2 target=$3 pattern=$4 unit=$5
    shift 5
    local log="$LOGS/$id.log" status figure verdict
    echo "running $name ..." >&2
    "$@" >"$log" 2>&1
    status=$?
    figure=$(grep -m1 -oE "$pattern[^0-9+-]*[+-]?[0-9]+(\.[0-9]+)?" "$log" |
             grep -oE '[+-]?[0-9]+(\.[0-9]+)?$')
    case $status in
        0) verdict=OK; passed=$((passed + 1)) ;;
        1) verdict="MISSED"; failed+=("$id") ;;
        *) verdict="ERROR (exit $status, see $log)"; failed+=("$id") ;;
    esac
    lines+=("$(printf '%-44s %12s   target %-12s %s' "$name" "${figure:-?}$unit" "$target" "$verdict")")
}

BIN="$BUILD/bench-bin"
run archive "custom archive build / plain copy" "<= 3.0x" "ratio build/copy" "x" "$BIN/bench_archive"
run patcher "navigator save / plain copy" "<= 3.0x" "ratio" "x" "$BIN/bench_patcher"
run audio "preview click to labels set" "<= 1000 ms" "click to labels set:" " ms" "$BIN/bench_audio"

# The same preview on a real sound server: PulseAudio with a null sink, headless, started here.
if command -v pulseaudio >/dev/null; then
    PULSE_SOCKET="$RUNTIME/pulse.sock"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
        --load="module-null-sink sink_name=bench" \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$PULSE_SOCKET" \
        >"$LOGS/pulseaudio.log" 2>&1 &
    pulse_pid=$!
    for _ in $(seq 50); do
        [ -S "$PULSE_SOCKET" ] && break
        sleep 0.1
    done
    SDL_AUDIODRIVER=pulseaudio PULSE_SERVER="unix:$PULSE_SOCKET" \
        run audio-pulse "preview on PulseAudio (null sink)" "<= 1000 ms" "click to labels set:" \
        " ms" "$BIN/bench_audio"
    kill "$pulse_pid" 2>/dev/null
    pulse_pid=
fi
run startup "start-up / bare Qt window" "<= 1.5x" "ratio start-up/bare:" "x" "$BIN/bench_startup" startup
run memory "peak memory over bare Qt window" "<= +30 MB" "extra memory over bare:" " MB" \
    "$BIN/bench_startup" memory
run convert "slot sound conversion / one oggenc pass" "<= 3.0x" "ratio convert/oggenc:" "x" \
    "$BIN/bench_convert"
run device "device put / cp + sync (5 MB, FAT image)" "<= 1.5x" "ratio put/copy:" "x" \
    "$BIN/bench_device"
run hostile "convert of hostile inputs: peak memory" "<= 256 MB" "highest peak memory:" " MB" \
    "$BIN/bench_hostile"

# The second figure of the preview, reported beside the first.
sound=$(grep -m1 -oE 'first sound callback: *[0-9.]+' "$LOGS/audio.log" |
        grep -oE '[0-9.]+$')
echo
echo "Benchmarks on $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'):"
for line in "${lines[@]}"; do
    echo "  $line"
done
[ -n "$sound" ] && printf '  %-44s %12s   (reported, no target)\n' "preview click to first sound callback" "$sound ms"
slowest=$(grep -m1 -oE 'longest time: *[0-9.]+' "$LOGS/hostile.log" | grep -oE '[0-9.]+$')
[ -n "$slowest" ] && printf '  %-44s %12s   target <= 5 s (checked with the memory)\n' "convert of hostile inputs: longest time" "$slowest s"
speech=$(grep -m1 -oE 'speak a menu text: *[0-9.]+' "$LOGS/convert.log" | grep -oE '[0-9.]+$')
[ -n "$speech" ] && printf '  %-44s %12s   (reported, no target)\n' "speak a menu text (median)" "$speech ms"
steps=$(grep -m1 -oE 'backup [0-9.]+ ms, write \+ flush \+ rename [0-9.]+ ms, read-back [0-9.]+ ms' \
        "$LOGS/device.log")
[ -n "$steps" ] && printf '  %-44s %s   (reported, no target)\n' "device put, its steps" "$steps"
search=$(grep -m1 -oE 'search of a device tree of 2000 files: *[0-9.]+' "$LOGS/device.log" |
         grep -oE '[0-9.]+$')
[ -n "$search" ] && printf '  %-44s %12s   (reported, no target)\n' "device search of 2,000 files" "$search ms"
echo
total=$((passed + ${#failed[@]}))
if [ ${#failed[@]} -eq 0 ]; then
    echo "summary: all $total benchmarks within target (logs in $LOGS/)"
    exit 0
fi
echo "summary: $passed of $total within target; missed or failed: $(IFS=,; echo "${failed[*]}" | sed 's/,/, /g') (logs in $LOGS/)"
exit 1
