#!/usr/bin/env bash
# Real pipelines with gst-launch-1.0, as a user runs them, their output checked.
#   gst_launch_test.sh CASE WORKDIR SIMCONFIG
#   CASE: png | matroska | tcp | broken | inspect | devices | simconfig
# GST_PLUGIN_PATH names the build's plug-in folder. The simulated camera of
# SIMCONFIG, PIPEMONO0001 (a VD-XG8K-M), delivers 1024 x 64 Mono8 frames.
set -euo pipefail
case_name=$1 work=$2 sim=$3
rm -rf "$work" && mkdir -p "$work"
cd "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }

# Width and height from a PNG's header.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{printf "%d x %d\n", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}'; }

check_pngs() {  # DIR MIN MAX
  local n
  n=$(find "$1" -name '*.png' | wc -l)
  [ "$n" -ge "$2" ] && [ "$n" -le "$3" ] || fail "$n PNGs in $1, expected $2 to $3"
  for f in "$1"/*.png; do
    [ "$(png_size "$f")" = "1024 x 64" ] || fail "$f is $(png_size "$f")"
  done
  echo "$n PNGs of 1024 x 64 in $1"
}

case $case_name in
png)
  mkdir frames
  gst-launch-1.0 -q vandrelsrc sim-config="$sim" num-buffers=20 ! videoconvert ! pngenc \
    ! multifilesink location=frames/frame-%03d.png
  check_pngs frames 20 20
  ;;
matroska)
  gst-launch-1.0 -q vandrelsrc sim-config="$sim" num-buffers=10 ! matroskamux ! filesink location=frames.mkv
  gst-discoverer-1.0 frames.mkv > discovered.txt 2>&1 || { cat discovered.txt; fail "gst-discoverer-1.0 failed"; }
  cat discovered.txt
  grep -q 'container #0: Matroska' discovered.txt || fail "not read as Matroska"
  grep -q 'Width: 1024' discovered.txt && grep -q 'Height: 64' discovered.txt || fail "wrong frame size"
  ;;
tcp)
  port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  mkdir received
  # 100 frames at 50 per second; the receiver joins once the sender listens,
  # and starts at the next cluster of the stream (sync-method=next-keyframe).
  gst-launch-1.0 -q vandrelsrc sim-config="$sim" num-buffers=100 ! matroskamux streamable=true \
    ! tcpserversink host=127.0.0.1 port="$port" sync-method=next-keyframe > sender.log 2>&1 &
  sender=$!
  for _ in $(seq 200); do
    status=0
    timeout 30 gst-launch-1.0 -q tcpclientsrc host=127.0.0.1 port="$port" ! matroskademux ! videoconvert \
      ! pngenc ! multifilesink location=received/frame-%03d.png > receiver.log 2>&1 || status=$?
    grep -q 'Connection refused' receiver.log || break
    sleep 0.05
  done
  wait "$sender" || { cat sender.log; fail "the sender failed"; }
  [ "$status" -eq 0 ] || { cat receiver.log; fail "the receiver ended with status $status"; }
  # Frames sent before the receiver joined are not counted.
  check_pngs received 50 100
  ;;
broken)
  # A recording broken three ways: the element fails its state change with
  # the simulator's reason rather than show other cameras.
  for r in lost cut; do
    mkdir "$r"
    for i in 1 2; do printf 'P5\n4 2\n255\nABCDEFGH' > "$r/$i.pgm"; done
    for i in 1 2; do
      printf '{"file": "%s.pgm", "serial": "REC", "captureTime": %d, "width": 4, "height": 2, "channels": 1}\n' "$i" "$i"
    done > "$r/index.jsonl"
  done
  rm lost/2.pgm
  truncate -s -10 cut/index.jsonl
  for r in lost cut nowhere; do
    printf '{"devices": [{"serialNumber": "VDXG8K0M0002", "mono": true, "frames": "%s"}]}\n' "$r" > "$r.json"
  done
  expect_reason() {  # CONFIG TEXT
    local status=0
    gst-launch-1.0 vandrelsrc sim-config="$PWD/$1" num-buffers=1 ! fakesink > "$1.log" 2>&1 || status=$?
    [ "$status" -ne 0 ] || { cat "$1.log"; fail "$1: the pipeline ran"; }
    grep -qF "simulator configuration $PWD/$1 unusable: device 0: $2" "$1.log" || { cat "$1.log"; fail "$1: no reason"; }
    echo "$1: $(grep -F 'unusable' "$1.log" | head -n 1)"
  }
  expect_reason lost.json "$PWD/lost/index.jsonl line 2: $PWD/lost/2.pgm: no such file"
  expect_reason cut.json "$PWD/cut/index.jsonl line 2: "
  expect_reason nowhere.json "$PWD/nowhere: no such directory"
  ;;
inspect)
  gst-inspect-1.0 vandrel > inspect.txt
  cat inspect.txt
  grep -Eq '^ +License +MIT/X11$' inspect.txt || fail "not MIT-licensed"
  grep -Eq '^ +Origin URL +Unknown package origin$' inspect.txt || fail "an origin that is not the convention for none"
  grep -q 'vandreldeviceprovider' inspect.txt || fail "no device provider"
  ;;
devices)
  VDCAMSDK_SIM_CONFIG=$sim timeout 60 gst-device-monitor-1.0 Video/Source > devices.txt 2>&1 || { cat devices.txt; fail "gst-device-monitor-1.0 failed"; }
  cat devices.txt
  grep -q 'name  : VD-XG8K-M PIPEMONO0001' devices.txt || fail "camera not listed by product and serial"
  grep -q 'caps  : video/x-raw, format=GRAY8, width=1024,' devices.txt || fail "no width and format"
  grep -q 'device.serial = PIPEMONO0001' devices.txt || fail "no serial property"
  grep -q 'gst-launch-1.0 vandrelsrc serial=PIPEMONO0001' devices.txt || fail "the device makes no vandrelsrc of its camera"
  ;;
simconfig)
  # Two sources, two configurations: one of them cannot have its own.
  printf '{"devices": [{"productName": "VD-XG8K-M", "serialNumber": "OTHERMONO001"}]}\n' > other.json
  status=0
  timeout 60 gst-launch-1.0 vandrelsrc sim-config="$sim" num-buffers=5 ! fakesink \
    vandrelsrc sim-config="$PWD/other.json" num-buffers=5 ! fakesink > launch.txt 2>&1 || status=$?
  cat launch.txt
  [ "$status" -ne 0 ] || fail "two configurations were accepted"
  grep -q 'the simulated cameras are configured once per process' launch.txt || fail "no reason given"
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
