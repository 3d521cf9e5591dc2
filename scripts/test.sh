#!/usr/bin/env bash
# Sets up the machine, then builds and runs every test in every preset: native, under the
# sanitizers, and the three Windows builds under Wine (with a virtual display for the dialog).
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1

JOBS="${JOBS:-$(nproc)}"
PRESETS=(${VELMO_PRESETS:-linux linux-asan linux-fuzz win32-p2 win32-p3 win32-p4})
passed=0
failed=0
broken=()
for preset in "${PRESETS[@]}"; do
  echo "=== ${preset}"
  if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset" -j "$JOBS"; then
    broken+=("$preset (build)")
    continue
  fi
  log="build/${preset}/ctest.log"
  case "$preset" in
    win32-*) xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset "$preset" 2>&1 | tee "$log" ;;
    *) ctest --preset "$preset" 2>&1 | tee "$log" ;;
  esac
  [ "${PIPESTATUS[0]}" -eq 0 ] || broken+=("$preset")
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    nfail=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
    passed=$((passed + total - nfail))
    failed=$((failed + nfail))
  fi
done

echo
if [ "${#broken[@]}" -ne 0 ]; then
  echo "failing presets: ${broken[*]}"
  [ "$failed" -gt 0 ] || failed=${#broken[@]}
fi
echo "all presets: ${passed} passed, ${failed} failed"
[ "${#broken[@]}" -eq 0 ]
