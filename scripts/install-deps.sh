#!/usr/bin/env bash
# Installs every build and test dependency from Debian's packages. Idempotent:
# does nothing when all of them are already there.
set -euo pipefail
packages=(
  g++ cmake make pkg-config
  qtbase5-dev qtbase5-dev-tools
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
  libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  # manual pages from the programs' --help; the packages' lint
  help2man lintian
  # the Python module and its tests, for Debian's own python3
  python3-dev pybind11-dev python3-numpy python3-pytest
  # the GStreamer plug-in, its tests' pipelines (gst-launch-1.0, gst-discoverer-1.0)
  # and reading its frames from Python
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-base-apps
  python3-gi gir1.2-gstreamer-1.0
  # vandrel-viewer's screenshot under a real X server, with the Chinese labels drawn
  xvfb xauth fonts-wqy-microhei
  # the stress test's watchdog prints every thread's stack with it
  gdb
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
