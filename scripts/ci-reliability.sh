#!/usr/bin/env bash
# Reliability stage of CI, after the normal build and tests:
#  1. the whole test suite (without tests labelled "slow") under AddressSanitizer
#     and UndefinedBehaviorSanitizer,
#  2. the stress test (both cases), the link, re-entrancy and callback cases under
#     ThreadSanitizer,
#  3. each libFuzzer target for a bounded time.
#   FUZZ_SECONDS            per target (default 60)
#   VANDREL_STRESS_SECONDS  stress duration (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds="${FUZZ_SECONDS:-60}"
started=$(date +%s)
phase() { echo "=== reliability: $1 ($(( $(date +%s) - started )) s so far)"; }

if [ "$(id -u)" -eq 0 ]; then
  scripts/install-deps.sh
else
  sudo scripts/install-deps.sh
fi

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

phase "ASan+UBSan build and test suite"
BUILD_DIR=build-asan \
CMAKE_ARGS="-DVANDREL_SANITIZE=address -DVANDREL_BENCH=OFF" \
CTEST_ARGS="-LE slow" \
  scripts/test.sh

phase "TSan build: stress test, link and re-entrancy cases"
cmake -S . -B build-tsan -DVANDREL_SANITIZE=thread -DVANDREL_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$(nproc)" --target reliability_stress_test driver_link_test driver_reentrancy_test driver_callbackcalls_test
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/reliability/tsan.supp" \
  ctest --test-dir build-tsan --output-on-failure -V -L 'stress|threads'

phase "fuzzing, $fuzz_seconds s per target"
BUILD_DIR=build-fuzz scripts/fuzz.sh "$fuzz_seconds"

phase "done"
