#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
#   BUILD_DIR     build directory (default: build)
#   CTEST_ARGS    extra arguments for ctest, e.g. "-LE slow" to skip the slow tests
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"

if [ "$(id -u)" -eq 0 ]; then
  scripts/install-deps.sh
else
  sudo scripts/install-deps.sh
fi
cmake -S . -B "$build" ${CMAKE_ARGS:-}
cmake --build "$build" -j"$(nproc)"
# shellcheck disable=SC2086
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" ${CTEST_ARGS:-}
