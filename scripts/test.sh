#!/usr/bin/env bash
# The one command that builds Brelvik and runs its whole test suite.
#   scripts/test.sh             set-up, Release build, all tests
#   scripts/test.sh --sanitize  also the AddressSanitizer+UBSan build (all
#                               core tests) and the ThreadSanitizer build
#                               (the thread tests)
# Exits non-zero on any failure; ends with CTest's summary.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SANITIZE=0
for arg in "$@"; do
  case "$arg" in
    --sanitize) SANITIZE=1 ;;
    *) echo "usage: $0 [--sanitize]" >&2; exit 2 ;;
  esac
done

bash "$ROOT/scripts/setup.sh"

JOBS="$(nproc)"
export CTEST_OUTPUT_ON_FAILURE=1
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

status=0
summary=()

run_config() {  # name, build dir, ctest args..., -- cmake args...
  local name="$1" dir="$2"; shift 2
  local ctest_args=()
  while [ "$#" -gt 0 ] && [ "$1" != "--" ]; do ctest_args+=("$1"); shift; done
  shift || true
  echo "=== [$name] configure and build ($dir)"
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
  echo "=== [$name] tests"
  if (cd "$dir" && ctest -j "$JOBS" --timeout 1500 "${ctest_args[@]}" 2>&1 | tee ctest.log); then
    summary+=("$name: $(grep -E 'tests passed' "$dir/ctest.log" | tail -1)")
  else
    status=1
    summary+=("$name: FAILED ($(grep -E 'tests passed' "$dir/ctest.log" | tail -1))")
  fi
}

# xvfb-run gives the GUI render tests a real X display with Mesa's software
# OpenGL; the other tests do not need it but do not mind it either.
if command -v xvfb-run >/dev/null; then
  export BRELVIK_XVFB=1
fi

run_config release "$ROOT/build" -- -DCMAKE_BUILD_TYPE=Release

if [ "$SANITIZE" -eq 1 ]; then
  # The GUI is left out of the sanitizer builds: Qt and Mesa are not
  # instrumented and would only add noise.
  ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    run_config asan "$ROOT/build-asan" -E Slow -- -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DBRELVIK_SANITIZE=address -DBRELVIK_GUI=OFF
  TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
    run_config tsan "$ROOT/build-tsan" -R "Thread" -- -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DBRELVIK_SANITIZE=thread -DBRELVIK_GUI=OFF
fi

echo "=== summary"
passed=0
failed=0
for line in "${summary[@]}"; do
  echo "$line"
  if [[ "$line" =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  fi
done
if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then failed=1; fi
echo "total: $passed passed, $failed failed"
exit "$status"
