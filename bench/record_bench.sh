#!/usr/bin/env bash
# Recording throughput: vandrel-host grab --record of two 8k line-scan
# cameras running as fast as they can, against dd writing the same number of
# bytes to the same disk, in the same run. Both write through the page cache
# and end with a sync, which is timed with them.
#   bench/record_bench.sh [SECONDS [RATE]]     (default 10 s; RATE frames/s per camera, default 0: as fast
#                                              as they can, which also takes CPU time from the writer)
#   BUILD_DIR   build directory (default: build); the files go to BUILD_DIR/record-bench
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
seconds="${1:-10}"
rate="${2:-0}"
host="$build/Host/vandrel-host"
[ -x "$host" ] || { echo "record-bench: $host is not built" >&2; exit 1; }
work="$build/record-bench"
rm -rf "$work"
mkdir -p "$work"
cat > "$work/two-8k.json" <<JSON
{"devices": [
  {"productName": "VD-XG8K-M", "serialNumber": "BENCH8K0001", "sensorWidth": 8192, "sensorHeight": 4096,
   "frameHeight": 1024, "mono": true, "frameRate": $rate, "scene": "fabric"},
  {"productName": "VD-XG8K-M", "serialNumber": "BENCH8K0002", "sensorWidth": 8192, "sensorHeight": 4096,
   "frameHeight": 1024, "mono": true, "frameRate": $rate, "scene": "fabric"}
]}
JSON
now() { date +%s.%N; }

sync
start=$(now)
"$host" grab --sim-config "$work/two-8k.json" --seconds "$seconds" --record "$work/rec" --json > "$work/summary.json" 2> "$work/grab.err"
sync
end=$(now)
# The summary's numbers, without a JSON tool: one key per line in its indented form.
sum_key() { grep -o "\"$1\": [0-9.e+-]*" "$work/summary.json" | awk '{ s += $2 } END { printf "%.0f", s }'; }
megabytes=$(grep -o '"recordMegabytes": [0-9.e+-]*' "$work/summary.json" | awk '{ print $2 }')
recorded=$(sum_key recordedFrames)
dropped=$(sum_key recordDropped)
files=$(du -sb "$work/rec" | cut -f1)
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
record_s=$(calc "$end - $start")

sync
start=$(now)
dd if=/dev/zero of="$work/dd.bin" bs=8M count=$(( (files + 8388607) / 8388608 )) status=none
sync
end=$(now)
dd_s=$(calc "$end - $start")

record_mbs=$(calc "$files / $record_s / 1000000")
dd_mbs=$(calc "$files / $dd_s / 1000000")
printf 'two 8192 x 1024 cameras at %s frames/s (0: full speed) for %s s\n' "$rate" "$seconds"
printf 'disk: %s (%s)\n' "$(df -h --output=source,fstype "$work" | tail -1 | tr -s ' ')" "$work"
printf 'recorded %d frames (%d dropped), %.1f MB of pixels, %.1f MB on disk\n' "$recorded" "$dropped" \
  "$megabytes" "$(calc "$files / 1000000")"
printf '%-34s %8.2f s %9.1f MB/s\n' "grab --record (run + sync)" "$record_s" "$record_mbs"
printf '%-34s %8.2f s %9.1f MB/s\n' "dd, same bytes (+ sync)" "$dd_s" "$dd_mbs"
printf 'ratio record/dd: %.2f\n' "$(calc "$record_mbs / $dd_mbs")"
rm -rf "$work/rec" "$work/dd.bin"
