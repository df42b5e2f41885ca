#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan+UBSan) and runs each for a
# bounded time on a scratch copy of its seed corpus, so that the corpus in the
# repository stays small. A target passes when libFuzzer ends without a
# finding; a finding's input is saved under tests/fuzz/crashes/.
#   scripts/fuzz.sh                   60 s a target, two at a time
#   FUZZ_SECONDS=600 scripts/fuzz.sh  a longer run
#   FUZZ_JOBS=1                       one target at a time
#   FUZZ_BUILD=build/mine             another build folder (default build/fuzz)
# Ends with one line "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-2}
build=${FUZZ_BUILD:-build/fuzz}
targets=(fuzz_setup_cmdline fuzz_kernel_cmdline fuzz_binding_report fuzz_error_text)

if ! { cmake --preset fuzz -B "$build" > /dev/null && cmake --build "$build" -j 2; }; then
  echo "fuzz build failed"
  echo "0 passed, ${#targets[@]} failed"
  exit 1
fi

scratch=$build/fuzz-run
crashes=tests/fuzz/crashes
mkdir -p "$crashes"

run_target() {  # target: the log and the exit code go to the scratch folder
  local t=$1
  rm -rf "${scratch:?}/$t" "$scratch/$t.rc"
  mkdir -p "$scratch/$t"
  cp tests/fuzz/corpus/"$t"/* "$scratch/$t/"
  "$build/tests/fuzz/$t" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$crashes/$t-" "$scratch/$t" > "$scratch/$t.log" 2>&1
  echo $? > "$scratch/$t.rc"
}

running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
  run_target "$t" &
  running=$((running + 1))
done
wait

passed=0
failed=0
for t in "${targets[@]}"; do
  rc=$(cat "$scratch/$t.rc" 2> /dev/null || echo 1)
  execs=$(grep -E '^stat::number_of_executed_units:' "$scratch/$t.log" | tail -n 1 | awk '{print $2}')
  if [ "$rc" -eq 0 ]; then
    passed=$((passed + 1))
    echo "$t: passed, ${execs:-?} executions in $seconds s"
  else
    failed=$((failed + 1))
    echo "$t: FAILED (exit $rc) after ${execs:-?} executions; log $scratch/$t.log"
    grep -E 'check failed|ERROR: |runtime error|SUMMARY|Test unit written' "$scratch/$t.log" | head -n 8
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
