#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#   scripts/fuzz.sh [SECONDS] [TARGET...]   default 300 s each, all targets
#   BUILD_DIR   build directory (default: build-fuzz)
# New inputs go to BUILD_DIR/corpus/<target>, seeded from fuzz/corpus/<target>;
# a crashing input is kept in BUILD_DIR/artifacts/. Exits non-zero if any
# target finds a fault.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-300}"
shift || true
build="${BUILD_DIR:-build-fuzz}"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_settings_json fuzz_descriptor_json fuzz_frame_header)
fi

CC=clang CXX=clang++ cmake -S . -B "$build" -DVANDREL_FUZZ=ON -DVANDREL_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
status=0
summary=()
mkdir -p "$build/artifacts"
for t in "${targets[@]}"; do
  seeds="fuzz/corpus/${t#fuzz_}"
  work="$build/corpus/$t"
  mkdir -p "$work"
  log="$build/$t.log"
  echo "fuzz: $t for $seconds s"
  if "$build/fuzz/$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$t-" "$work" "$seeds" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
    tail -n 60 "$log"
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  summary+=("fuzz: $t ${execs:-?} executions in $seconds s, corpus $(ls "$work" | wc -l) inputs: $result")
done
printf '%s\n' "${summary[@]}"
exit $status
