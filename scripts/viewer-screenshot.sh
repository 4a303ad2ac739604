#!/usr/bin/env bash
# Takes the README's picture of vandrel-viewer on a real X server (Xvfb):
# both simulated line-scan cameras live in strip mode, numbering frames, the
# status lines and
# the editor generated from the descriptors, with the demo settings (colour
# on, two parameters pinned to the run panel).
#   scripts/viewer-screenshot.sh [OUT.png]     (default: Host/doc/viewer.png)
#   BUILD_DIR   build directory (default: build)
#   SCREEN      the X server's screen, WIDTHxHEIGHT (default: 1920x1080); the
#               window opens at a size that fits it
#   CHECK_LAYOUT=1  also fail when a text is cut without "…" or widgets overlap
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
out="${1:-Host/doc/viewer.png}"
viewer="$build/Host/vandrel-viewer"
if [ ! -x "$viewer" ]; then
  echo "viewer-screenshot: $viewer is not built (cmake --build $build)" >&2
  exit 1
fi
mkdir -p "$(dirname "$out")"
# xcb: the real X server's platform, whatever the environment says.
screen="${SCREEN:-1920x1080}"
extra=()
if [ "${CHECK_LAYOUT:-0}" = 1 ]; then extra+=(--check-layout); fi
xvfb-run -a -s "-screen 0 ${screen}x24" \
  env QT_QPA_PLATFORM=xcb "$viewer" \
    --camera VDXG4K0C0001 --camera VDXG8K0M0002 \
    --settings Host/doc/viewer-demo-settings.json \
    --strip --running --expert \
    --screenshot "$out" --after-frames 40 --deadline 60 "${extra[@]}"
echo "viewer-screenshot: wrote $out"
