#!/usr/bin/env bash
# The native suite again under AddressSanitizer with UndefinedBehaviorSanitizer,
# the threading tests under ThreadSanitizer, and the host-call fuzzers of the
# three formats (VST 2, VST 3, CLAP): each one's committed corpus as regression
# inputs, then a bounded fuzzing run, the three sharing one time budget.
set -euo pipefail
cd "$(dirname "$0")/../.."

jobs=$(nproc)
fuzz_seconds="${ORBELUNE_FUZZ_SECONDS:-60}"
configure() {
  local dir=$1 sanitizers=$2
  shift 2
  CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORBELUNE_SANITIZE="$sanitizers" -DORBELUNE_BENCH=OFF "$@" >/dev/null
}

status=0

echo "-- AddressSanitizer + UndefinedBehaviorSanitizer: whole native suite" >&2
configure build/asan address,undefined -DORBELUNE_FUZZ=ON
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs" || status=1

echo "-- ThreadSanitizer: threads sharing instances" >&2
configure build/tsan thread
cmake --build build/tsan -j "$jobs" --target orbelune_hardening_tests orbelune_editor_window_tests
TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/hardening/orbelune_hardening_tests \
  --gtest_filter='ThreadStorm.*:StressCycles.InstancesProcessingAtOnce*' || status=1
# Automation beside an open editor needs a display for the editor's window.
TSAN_OPTIONS=halt_on_error=1 xvfb-run -a -s "-screen 0 1280x1024x24" \
  build/tsan/tests/x11/orbelune_editor_window_tests --gtest_filter='ThreadStorm.*' || status=1

echo "-- ThreadSanitizer: a batch render, one instance per thread" >&2
cmake --build build/tsan -j "$jobs" --target orbelune-render
batch=build/tsan/render-batch
rm -rf "$batch"
mkdir -p "$batch/in"
build/tsan/tools/orbelune-render --demo-dir "$batch/demo" --tail 0 -q >/dev/null || status=1
for take in 1 2 3; do cp "$batch/demo/demo-dry.wav" "$batch/in/take$take.wav"; done
echo "not a sound file" >"$batch/in/broken.wav"
# The broken input must fail alone (status 1); a race stops the run with another status.
batch_status=0
TSAN_OPTIONS=halt_on_error=1 build/tsan/tools/orbelune-render "$batch"/in/*.wav --out-dir "$batch/out" \
  --jobs 4 --set Decay=2s -q 2>"$batch/errors.txt" || batch_status=$?
if [ "$batch_status" -ne 1 ] || [ "$(ls "$batch/out" | wc -l)" -ne 3 ]; then
  cat "$batch/errors.txt" >&2
  echo "sanitizers: the batch render under ThreadSanitizer ended with status $batch_status" >&2
  status=1
fi

# A third of the budget each, the first taking what does not divide, and
# never 0, which libFuzzer reads as no limit.
share=$(( fuzz_seconds / 3 ))
vst2_fuzz_seconds=$(( fuzz_seconds - 2 * share > 1 ? fuzz_seconds - 2 * share : 1 ))
vst3_fuzz_seconds=$(( share > 1 ? share : 1 ))
clap_fuzz_seconds=$(( share > 1 ? share : 1 ))
fuzz() {
  local name=$1 corpus=$2 work_corpus=$3 seconds=$4
  local fuzzer=build/asan/tests/hardening/$name
  echo "-- $name: corpus, then ${seconds} s of fuzzing" >&2
  mkdir -p "$work_corpus"
  cp "$corpus"/* "$work_corpus"/
  ASAN_OPTIONS=detect_leaks=1 "$fuzzer" -runs=0 "$corpus"/* || status=1
  ASAN_OPTIONS=detect_leaks=1 "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=4096 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="build/asan/$name-" "$work_corpus" 2>&1 | tail -n 12 || status=1
}
fuzz host_call_fuzzer tests/hardening/corpus build/asan/fuzz-corpus "$vst2_fuzz_seconds"
fuzz vst3_call_fuzzer tests/hardening/vst3_corpus build/asan/vst3-fuzz-corpus "$vst3_fuzz_seconds"
fuzz clap_call_fuzzer tests/hardening/clap_corpus build/asan/clap-fuzz-corpus "$clap_fuzz_seconds"
exit $status
