#!/usr/bin/env bash
# Runs every test: host unit tests (ASan+UBSan), the service's threads under
# ThreadSanitizer, the import tables of the Windows programs, and the
# end-to-end suite under Wine for both architectures. Ends with one line
# "N passed, N failed".
#   scripts/test.sh            everything
#   QUICK=1 scripts/test.sh    host tests only
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
log=build/test-logs
mkdir -p "$log"

bash scripts/install-deps.sh --wine32 || { echo "dependencies could not be installed"; exit 1; }

passed=0
failed=0
stage_failed=()
started=$(date +%s)

# Adds one stage's counts from its log ("N passed, N failed" or ctest's line).
count() {
  local name=$1 file=$2 rc=$3 p f line
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$file" | tail -n 1)
  if [ -n "$line" ]; then
    p=$(echo "$line" | sed -E 's/^([0-9]+) passed.*/\1/')
    f=$(echo "$line" | sed -E 's/^[0-9]+ passed, ([0-9]+) failed.*/\1/')
  else
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$file" | tail -n 1)
    if [ -n "$line" ]; then
      f=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of.*/\1/')
      p=$(( $(echo "$line" | sed -E 's/.*out of ([0-9]+).*/\1/') - f ))
    else
      p=0; f=1
    fi
  fi
  [ "$rc" -ne 0 ] && [ "$f" -eq 0 ] && f=1
  passed=$((passed + p)); failed=$((failed + f))
  [ "$f" -ne 0 ] && stage_failed+=("$name")
  echo "== $name: $p passed, $f failed (log: $file)"
}

stage() {
  local name=$1; shift
  echo "== $name"
  local file="$log/$name.log"
  "$@" > "$file" 2>&1
  local rc=$?
  [ $rc -ne 0 ] && tail -n 40 "$file"
  count "$name" "$file" $rc
}

build() {  # preset
  cmake --preset "$1" > /dev/null && cmake --build --preset "$1" -j 2
}

stage host bash -c "$(declare -f build); build host && ctest --preset host -j 2"
if [ "${QUICK:-0}" != 1 ]; then
  stage tsan bash -c "$(declare -f build); build tsan && ctest --preset tsan -j 2 -R '^Service'"
  stage fuzz bash scripts/fuzz.sh
  stage imports bash -c "$(declare -f build); build win64 && build win32 && python3 scripts/check-imports.py build/win64 build/win32"
  stage wine64 python3 tests/wine/run.py --arch win64 --build build/win64
  stage wine32 python3 tests/wine/run.py --arch win32 --build build/win32
fi

echo "== all stages took $(( $(date +%s) - started )) s"
[ ${#stage_failed[@]} -ne 0 ] && echo "failed stages: ${stage_failed[*]}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
