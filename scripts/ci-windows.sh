#!/usr/bin/env bash
# CI's Windows stage, on Linux: MinGW-w64 cross-compiles, wine64 runs.
#  1. Every source of the contract, the driver, the simulated SDK,
#     vdcamsdk-check and Host/core is compiled for x86_64-w64-mingw32 with
#     warnings as errors, each with its own target's defines and include
#     folders (the project configured with cmake/toolchains/); the build
#     machine's Qt and OpenCV headers stand in for their Windows builds,
#     so what needs their libraries is compiled, not linked.
#  2. What needs neither is linked and run under wine64: the platform tests
#     (ctest -L platform) and vdcamsdk-check.exe against a stand-in
#     VDCAMSDK_X64.dll beside it, not on PATH; then with no DLL, a DLL that is
#     not the SDK and a file that is no DLL: exit status 3 and one line that
#     names the file and the folder.
#   WINDOWS_DIR  scratch folder (default: /tmp/vandrel-ci-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
work="${WINDOWS_DIR:-/tmp/vandrel-ci-windows}"
jobs="$(nproc)"
src="$(pwd)"
started=$(date +%s)

packages=(g++-mingw-w64-x86-64-posix wine64 ninja-build libgtest-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

toolchain="$src/cmake/toolchains/x86_64-w64-mingw32.cmake"
rm -rf "$work"
mkdir -p "$work"

# Wine without a display, in a prefix of its own: no dialog, no Mono or Gecko
# installer, no debug channels on stderr.
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine="$(command -v wine64)"
wineserver="$(dirname "$wine")/wineserver"
[ -x "$wineserver" ] || wineserver="$(command -v wineserver)"
# One server for the whole stage, rather than one per program run; it is
# ended when the stage ends, however it ends.
mkdir -p "$WINEPREFIX"
"$wineserver" -p
trap '"$wineserver" -k 2>/dev/null || true' EXIT
"$wine" wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; exit 1; }
echo "ci-windows: wine prefix ready ($(( $(date +%s) - started )) s)"

# GoogleTest for the platform tests, from Debian's sources.
cmake -S /usr/src/googletest -B "$work/gtest-build" -G Ninja --toolchain "$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$work/gtest" >/dev/null
nice -n 10 cmake --build "$work/gtest-build" -j"$jobs" >/dev/null
cmake --install "$work/gtest-build" >/dev/null

qtdir=/usr/lib/x86_64-linux-gnu/cmake/Qt5
libdir=/usr/lib/x86_64-linux-gnu
build="$work/build"
cmake -S . -B "$build" -G Ninja --toolchain "$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  -DVANDREL_COMPILE_ONLY_DEPENDENCIES=ON -DVANDREL_HOSTS=ON \
  -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=BOTH -DQt5_DIR="$qtdir" -DGTest_DIR="$work/gtest/lib/cmake/GTest" \
  -DVANDREL_OPENCV_INCLUDE_DIR=/usr/include/opencv4 \
  -DVANDREL_OPENCV_core_LIBRARY="$libdir/libopencv_core.so" \
  -DVANDREL_OPENCV_imgproc_LIBRARY="$libdir/libopencv_imgproc.so" \
  -DVANDREL_OPENCV_imgcodecs_LIBRARY="$libdir/libopencv_imgcodecs.so" >"$work/configure.log" \
  || { cat "$work/configure.log"; exit 1; }

# 1. Every object of these targets, as Ninja names them: its rule carries
# the target's name.
targets="vandrel_interfaces|vandrel_driver|VDCAMSDK|vdcamsdk_check_lib|vdcamsdk-check|vandrel-hostcore"
targets="$targets|vandrel_platform|vdcamsdk_binding|vdcamsdk_library|vdcamsdk_identity"
mapfile -t objects < <(ninja -C "$build" -t targets all \
  | sed -n -E "s/^(.*\.obj): (C|CXX)_COMPILER__($targets)_Release$/\1/p")
for t in vandrel_interfaces vandrel_driver VDCAMSDK vdcamsdk_check_lib vandrel-hostcore; do
  n=$(printf '%s\n' "${objects[@]}" | grep -c "/CMakeFiles/$t.dir/" || true)
  echo "ci-windows: $t: $n objects"
  [ "$n" -gt 0 ] || { echo "ci-windows: no objects of $t to compile" >&2; exit 1; }
done
nice -n 10 ninja -C "$build" -j"$jobs" "${objects[@]}"
echo "ci-windows: ${#objects[@]} objects compiled for Windows ($(( $(date +%s) - started )) s)"

# 2. Linked and run.
nice -n 10 ninja -C "$build" -j"$jobs" vdcamsdk-check platform_seams_test vandrel_test_windows_sdk
# A fresh prefix once failed the tests' listing with a silent exit status 1
# (Wine's errors are off): the listing is tried up to three times, with
# Wine's errors shown, before the tests run.
seams="$build/tests/platform/platform_seams_test.exe"
for attempt in 1 2 3; do
  if WINEDEBUG=err+all timeout 120 "$wine" "$seams" --gtest_list_tests >"$work/listing.log" 2>&1; then
    break
  fi
  echo "ci-windows: listing the platform tests under wine failed (attempt $attempt of 3):" >&2
  cat "$work/listing.log" >&2
  [ "$attempt" -lt 3 ] || exit 1
  sleep 5
done
ctest --test-dir "$build" -L platform --output-on-failure

check="$build/Plugins/Cameras/vdcamsdk-check.exe"
# It resolves the SDK at run time: the DLL is no import of it.
if x86_64-w64-mingw32-objdump -p "$check" | grep -i "DLL Name: VDCAMSDK"; then
  echo "ci-windows: vdcamsdk-check.exe imports the SDK instead of loading it beside itself" >&2
  exit 1
fi

# The line's folder: the program and the SDK's DLL side by side. It runs from
# another folder, with a PATH that holds another copy of the DLL, which must
# not be the one it takes.
line="$work/line"
decoy="$work/on-path"
mkdir -p "$line" "$decoy"
cp "$check" "$build/tests/platform/standin/VDCAMSDK_X64.dll" "$line/"
cp "$build/tests/platform/standin/VDCAMSDK_X64.dll" "$decoy/"
winline="Z:${line//\//\\}"
export WINEPATH="Z:${decoy//\//\\}"

run_check() {   # expected status, output file, arguments...
  local expected="$1" out="$2" status=0
  shift 2
  (cd / && timeout 120 "$wine" "$line/vdcamsdk-check.exe" "$@") >"$out" 2>"$out.err" || status=$?
  cat "$out" "$out.err"
  if [ "$status" -ne "$expected" ]; then
    echo "ci-windows: vdcamsdk-check.exe $* exited $status, not $expected" >&2
    exit 1
  fi
}
has() {   # file, fixed text
  grep -q -F -- "$2" "$1" || { echo "ci-windows: no \"$2\" in $1" >&2; exit 1; }
}

run_check 0 "$work/check-standin.txt" --seconds 1
has "$work/check-standin.txt" "SDK library $winline\\VDCAMSDK_X64.dll"
has "$work/check-standin.txt" "30 passed, 0 failed, 4 not run: the SDK behaves as the driver relies on"
if grep -q "SIMULATED" "$work/check-standin.txt"; then
  echo "ci-windows: the stand-in was taken for the simulator" >&2
  exit 1
fi

run_check 0 "$work/check-version.txt" --version
has "$work/check-version.txt" "vdcamsdk-check "

rm "$line/VDCAMSDK_X64.dll"
run_check 3 "$work/check-none.txt"
has "$work/check-none.txt.err" "vdcamsdk-check: camera SDK VDCAMSDK_X64.dll not found in $winline"

cp "$build/tests/platform/vandrel_test_module.dll" "$line/VDCAMSDK_X64.dll"
run_check 3 "$work/check-wrong.txt"
has "$work/check-wrong.txt.err" "$winline\\VDCAMSDK_X64.dll is not the SDK this driver was built for: it lacks VdSdkInit"

echo "not a DLL" >"$line/VDCAMSDK_X64.dll"
run_check 3 "$work/check-garbage.txt"
has "$work/check-garbage.txt.err" "$winline\\VDCAMSDK_X64.dll cannot be loaded:"

echo "ci-windows: done in $(( $(date +%s) - started )) s"
