#!/usr/bin/env bash
# Deployment stages of CI, run after the normal build in build/:
#   scripts/ci-deploy.sh install    install to a temporary prefix; run the installed
#                                   vandrel-host list and vdcamsdk-check with build/ moved away
#   scripts/ci-deploy.sh consumer   build tests/consumer against that prefix and grab frames
#   scripts/ci-deploy.sh package    cpack -G DEB, dpkg -i, the installed vandrel-host grab
#                                   --frames 5, dpkg -r
#   scripts/ci-deploy.sh vendor     build against a stand-in vendor SDK and check it
#   scripts/ci-deploy.sh clang      build everything with clang, warnings as errors, and test
#   BUILD_DIR   the normal build (default: build)
#   DEPLOY_DIR  scratch folder (default: /tmp/vandrel-ci-deploy)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
work="${DEPLOY_DIR:-/tmp/vandrel-ci-deploy}"
prefix="$work/prefix"
jobs="$(nproc)"
if [ "$(id -u)" -eq 0 ]; then SUDO=; else SUDO=sudo; fi
export QT_QPA_PLATFORM=offscreen
mkdir -p "$work"

# Runs a command from / while the build folder is moved away, so that
# nothing installed can lean on it; the folder comes back whatever happens.
without_build() {
  local away="$build.away.$$"
  mv "$build" "$away"
  local status=0
  (cd / && "$@") || status=$?
  mv "$away" "$build"
  return $status
}

stage_install() {
  rm -rf "$prefix"
  cmake --install "$build" --prefix "$prefix" >/dev/null
  (cd "$prefix" && find . -type f | sort)
  without_build "$prefix/bin/vandrel-host" list | tee "$work/list.txt"
  grep -q '^  VDXG4K0C0001$' "$work/list.txt"
  # 5: every check passed, on the simulated SDK.
  local status=0
  without_build "$prefix/bin/vdcamsdk-check" --seconds 2 >"$work/sdkcheck.txt" || status=$?
  tail -n 2 "$work/sdkcheck.txt"
  test "$status" -eq 5
}

stage_consumer() {
  test -f "$prefix/include/vandrel/camerainterface.h" || stage_install
  rm -rf "$work/consumer"
  cmake -S tests/consumer -B "$work/consumer" -DVANDREL_PREFIX="$prefix" >/dev/null
  cmake --build "$work/consumer" -j"$jobs"
  without_build "$work/consumer/vandrel-consumer" "$prefix/lib/vandrel/Plugins/Cameras" 10
}

stage_package() {
  if dpkg-query -W -f='${Status}' vandrel 2>/dev/null | grep -q "install ok installed"; then
    echo "ci-deploy: a vandrel package is installed already; not touching it" >&2
    return 1
  fi
  rm -f "$build"/vandrel_*.deb
  (cd "$build" && cpack -G DEB >/dev/null)
  local deb
  deb=$(ls "$build"/vandrel_*.deb)
  dpkg-deb --info "$deb" | grep -E '^ (Package|Version|Depends|Installed-Size):'
  echo "ci-deploy: $(basename "$deb") is $(stat -c %s "$deb") bytes"
  $SUDO dpkg -i "$deb"
  local status=0
  without_build /usr/bin/vandrel-host grab --frames 5 || status=$?
  $SUDO dpkg -r vandrel
  test ! -e /usr/bin/vandrel-host
  return $status
}

stage_vendor() {
  # A stand-in for the vendor's SDK: the interface header and the simulated
  # library under the vendor's name, in a folder of their own.
  local root="$work/vendor-sdk" vbuild="$work/build-vendor"
  rm -rf "$root" "$vbuild" "$work/prefix-vendor"
  mkdir -p "$root/include" "$root/lib"
  cp Sdk/include/vdcamsdk.h "$root/include/"
  cp "$build/Plugins/Cameras/libVDCAMSDK.so" "$root/lib/"
  cmake -S . -B "$vbuild" -DVANDREL_SDK=vendor -DVANDREL_SDK_ROOT="$root" \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON | tee "$work/vendor-configure.log"
  test "$(grep -c 'vdsim.h' "$work/vendor-configure.log")" -eq 1
  cmake --build "$vbuild" -j"$jobs"
  # Nothing of the simulator is built; the driver runs on the stand-in.
  test ! -e "$vbuild/Plugins/Cameras/libVDCAMSDK.so"
  local deps
  deps=$(ldd "$vbuild/Plugins/Cameras/libVandrel.so")
  grep -q "$root/lib/libVDCAMSDK.so" <<<"$deps"
  ctest --test-dir "$vbuild" -j"$jobs" --output-on-failure
  # The stand-in is the simulated library: the check knows it (status 5).
  local status=0
  "$vbuild/Sdk/Check/vdcamsdk-check" --seconds 2 || status=$?
  test "$status" -eq 5
  "$vbuild/Host/vandrel-host" list
  cmake --install "$vbuild" --prefix "$work/prefix-vendor" >/dev/null
  test -e "$work/prefix-vendor/lib/vandrel/Plugins/Cameras/libVandrel.so"
  test ! -e "$work/prefix-vendor/lib/vandrel/Plugins/Cameras/libVDCAMSDK.so"
}

stage_clang() {
  CC=clang CXX=clang++ cmake -S . -B build-clang -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
  cmake --build build-clang -j"$jobs"
  ctest --test-dir build-clang -j"$jobs" --output-on-failure -LE slow
}

case "${1:-}" in
  install|consumer|package|vendor|clang) "stage_$1" ;;
  *) echo "usage: scripts/ci-deploy.sh install|consumer|package|vendor|clang" >&2; exit 2 ;;
esac
