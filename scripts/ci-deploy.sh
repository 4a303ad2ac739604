#!/usr/bin/env bash
# Deployment stages of CI, run after the normal build in build/:
#   scripts/ci-deploy.sh install    install to a temporary prefix; run the installed
#                                   vandrel-host list and vdcamsdk-check with build/ moved away;
#                                   nothing of the build machine in what is installed
#   scripts/ci-deploy.sh consumer   build tests/consumer against that prefix, with
#                                   find_package(Vandrel) and with pkg-config, and grab frames
#   scripts/ci-deploy.sh package    cpack -G DEB, lintian on every package, apt-get install,
#                                   the installed vandrel-host grab --frames 5, tests/consumer
#                                   built on the installed packages both ways, apt-get remove;
#                                   a second build of the packaged targets in another folder
#                                   gives the same bytes
#   scripts/ci-deploy.sh reproducible   that last check alone, on the .deb files in build/
#   scripts/ci-deploy.sh vendor     build against stand-in vendor SDKs (no SONAME, a helper
#                                   library of their own) and run them installed
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

# No ELF file or text under DIR names the source or build folder.
nothing_of_the_build_machine() {
  local dir="$1" found=0 f
  local src
  src="$(pwd)"
  # Also as a man page writes it, with its minus signs escaped.
  local troff="${src//-/\\-}"
  while IFS= read -r -d '' f; do
    if grep -a -q -F -e "$src" -e "$troff" "$f" \
      || { [ "${f%.gz}" != "$f" ] && zcat "$f" | grep -q -F -e "$src" -e "$troff"; }; then
      echo "ci-deploy: $f names the build machine's $src" >&2
      found=1
    fi
  done < <(find "$dir" -type f -print0)
  return $found
}

stage_install() {
  rm -rf "$prefix"
  cmake --install "$build" --prefix "$prefix" >/dev/null
  (cd "$prefix" && find . -type f | sort)
  nothing_of_the_build_machine "$prefix"
  without_build "$prefix/bin/vandrel-host" list | tee "$work/list.txt"
  grep -q '^  VDXG4K0C0001  VD-XG4K-C  4096 px  colour$' "$work/list.txt"
  # 5: every check passed, on the simulated SDK.
  local status=0
  without_build "$prefix/bin/vdcamsdk-check" --seconds 2 >"$work/sdkcheck.txt" || status=$?
  tail -n 2 "$work/sdkcheck.txt"
  test "$status" -eq 5
  # Without its plug-in, an installed program says where it looked, even
  # with the build folder there, and never falls back to it.
  local lone="$work/prefix-no-plugin"
  status=0
  rm -rf "$lone"
  cmake --install "$build" --prefix "$lone" --component plugin >/dev/null
  cmake --install "$build" --prefix "$lone" --component tools >/dev/null
  rm "$lone/lib/vandrel/Plugins/Cameras/libVandrel.so"
  "$lone/bin/vandrel-host" info >"$work/no-plugin.txt" 2>&1 || status=$?
  cat "$work/no-plugin.txt"
  test "$status" -eq 3
  grep -q -F "$lone/lib/vandrel/Plugins/Cameras" "$work/no-plugin.txt"
}

stage_consumer() {
  test -d "$prefix/include/vandrel" || stage_install
  local how pc
  pc=$(find "$prefix" -name vandrel.pc)
  for how in cmake pkg-config; do
    rm -rf "$work/consumer-$how"
    PKG_CONFIG_PATH="$(dirname "$pc")" cmake -S tests/consumer -B "$work/consumer-$how" \
      -DCMAKE_PREFIX_PATH="$prefix" -DVANDREL_FIND="$how" | grep "plug-in folder"
    cmake --build "$work/consumer-$how" -j"$jobs"
    # Its default plug-in folder is the installed one.
    without_build "$work/consumer-$how/vandrel-consumer" "" 10
  done
}

# The .deb files of a build folder, after cpack there.
make_debs() {
  rm -f "$1"/*.deb
  (cd "$1" && cpack -G DEB >/dev/null)
  ls "$1"/*.deb
}

stage_package() {
  local p
  for p in vandrel vandrel-tools vandrel-viewer vandrel-simulator vandrel-dev libvandrel-contract1 \
    python3-vandrel gstreamer1.0-vandrel; do
    if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      echo "ci-deploy: package $p is installed already; not touching it" >&2
      return 1
    fi
  done
  local debs=() deb
  mapfile -t debs < <(make_debs "$build")
  for deb in "${debs[@]}"; do
    dpkg-deb --info "$deb" | grep -E '^ (Package|Version|Depends|Installed-Size):'
    echo "ci-deploy: $(basename "$deb") is $(stat -c %s "$deb") bytes"
    mkdir -p "$work/unpacked" && rm -rf "$work/unpacked"/* && dpkg-deb -x "$deb" "$work/unpacked"
    nothing_of_the_build_machine "$work/unpacked"
  done
  # Errors and warnings fail; overrides (cmake/debian/*.lintian-overrides)
  # each say why.
  lintian --fail-on error,warning --display-info "${debs[@]}"
  echo "ci-deploy: lintian: no errors or warnings"

  # A development machine: every package, the simulator included.
  local all=()
  for deb in "${debs[@]}"; do all+=("$(realpath "$deb")"); done
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${all[@]}" >/dev/null
  local status=0 how
  without_build /usr/bin/vandrel-host grab --frames 5 || status=$?
  # A host application found the usual ways, with nothing but the packages.
  for how in cmake pkg-config; do
    [ "$status" -eq 0 ] || break
    rm -rf "$work/consumer-system-$how"
    { cmake -S tests/consumer -B "$work/consumer-system-$how" -DVANDREL_FIND="$how" >/dev/null \
        && cmake --build "$work/consumer-system-$how" -j"$jobs" >/dev/null \
        && without_build "$work/consumer-system-$how/vandrel-consumer" "" 5; } || status=$?
  done
  # The bindings, found where Debian's python3 and GStreamer look.
  if [ "$status" -eq 0 ] && printf '%s\n' "${all[@]}" | grep -q python3-vandrel; then
    without_build /usr/bin/python3 -c "import vandrel; print(vandrel.cameras())" || status=$?
  fi
  if [ "$status" -eq 0 ] && printf '%s\n' "${all[@]}" | grep -q gstreamer1.0-vandrel; then
    without_build gst-inspect-1.0 vandrelsrc >"$work/gst-inspect.txt" || status=$?
    grep -E 'Long-name|Klass' "$work/gst-inspect.txt" || status=1
    without_build gst-inspect-1.0 vandrel >"$work/gst-inspect-plugin.txt" || status=$?
    grep -E '^ +License +MIT/X11$' "$work/gst-inspect-plugin.txt" || status=1
    # The simulator's own cameras, found as GStreamer applications find cameras.
    without_build timeout 60 gst-device-monitor-1.0 Video/Source >"$work/gst-devices.txt" 2>&1 || status=$?
    grep -E 'name  : VD-XG|device.serial|caps  : video/x-raw' "$work/gst-devices.txt" || status=1
    grep -q 'gst-launch-1.0 vandrelsrc serial=VDXG8K0M0002' "$work/gst-devices.txt" || status=1
  fi
  local names=()
  for deb in "${all[@]}"; do names+=("$(dpkg-deb -f "$deb" Package)"); done
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq "${names[@]}" >/dev/null
  test ! -e /usr/bin/vandrel-host
  test ! -e /usr/lib/vandrel/Plugins/Cameras/libVandrel.so
  [ "$status" -eq 0 ] || return $status
  stage_reproducible "${debs[@]}"
}

# A second build of the packaged targets, from a copy of the sources in
# another folder, gives byte-identical packages.
stage_reproducible() {
  if [ $# -eq 0 ]; then set -- "$build"/*.deb; fi
  local src2="$work/repro-source" build2="$work/repro-source/build-elsewhere"
  rm -rf "$src2"
  mkdir -p "$src2"
  if git rev-parse --git-dir >/dev/null 2>&1; then
    git ls-files -z | xargs -0 cp --parents -t "$src2"
    # Uncommitted files of the tree being tested count too.
    git ls-files -z --others --exclude-standard | xargs -0 -r cp --parents -t "$src2"
  else
    tar --exclude='./build*' --exclude='./out' -cf - . | tar -xf - -C "$src2"
  fi
  # Built as build/ was, through the same compiler launcher. ccache's base_dir
  # makes paths below it relative, which __FILE__ then shows; the copy, when
  # the tree lies below it, gets the same.
  local launcher args=()
  launcher=$(sed -n 's/^CMAKE_CXX_COMPILER_LAUNCHER:[A-Z]*=//p' "$build/CMakeCache.txt")
  if [ -n "$launcher" ]; then
    args+=("-DCMAKE_CXX_COMPILER_LAUNCHER=$launcher" "-DCMAKE_C_COMPILER_LAUNCHER=$launcher")
    local base
    base=$(ccache -k base_dir 2>/dev/null || true)
    if [ -n "$base" ] && [[ "$(pwd)/" == "${base%/}"/* ]]; then
      export CCACHE_BASEDIR="$work"
    fi
  fi
  cmake -S "$src2" -B "$build2" -DVANDREL_BENCH=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${args[@]}" >/dev/null
  # What the packages hold, the bindings where build/ has them.
  local targets=(Vandrel VDCAMSDK vandrel-contract vandrel-host vdcamsdk-check vandrel-viewer vandrel-man-pages)
  compgen -G "$build/Bindings/Python/vandrel/_vandrel*.so" >/dev/null && targets+=(_vandrel)
  [ -e "$build/Bindings/GStreamer/libgstvandrel.so" ] && targets+=(gstvandrel)
  cmake --build "$build2" -j"$jobs" --target "${targets[@]}" >/dev/null
  local debs2=() deb differ=0
  mapfile -t debs2 < <(make_debs "$build2")
  for deb in "$@"; do
    if cmp -s "$deb" "$build2/$(basename "$deb")"; then
      echo "ci-deploy: $(basename "$deb"): the same bytes from $src2"
    else
      echo "ci-deploy: $(basename "$deb") differs when built in $src2:" >&2
      mkdir -p "$work/repro-a" "$work/repro-b" && rm -rf "$work/repro-a"/* "$work/repro-b"/*
      dpkg-deb -R "$deb" "$work/repro-a" && dpkg-deb -R "$build2/$(basename "$deb")" "$work/repro-b"
      diff -r "$work/repro-a" "$work/repro-b" >&2 || true
      differ=1
    fi
  done
  test "${#debs2[@]}" -eq "$#"
  return $differ
}

stage_vendor() {
  # Stand-ins for the vendor's SDK, made from the simulator's objects in
  # build/: a library without a SONAME, under the vendor's other file name,
  # that needs a helper library of its own beside it.
  local root="$work/vendor-sdk" vbuild="$work/build-vendor" vprefix="$work/prefix-vendor"
  rm -rf "$root" "$vbuild" "$vprefix" "$root.away"
  mkdir -p "$root/include" "$root/lib"
  cp Sdk/include/vdcamsdk.h "$root/include/"
  printf 'int vdhelper_ready(void) { return 1; }\n' >"$work/vdhelper.c"
  printf '%s\n' '#include <stdlib.h>' 'int vdhelper_ready(void);' \
    '__attribute__((constructor)) static void need_helper(void) { if (!vdhelper_ready()) abort(); }' \
    >"$work/vdshim.c"
  cc -shared -fPIC -O2 -Wl,-soname,libvdhelper.so -o "$root/lib/libvdhelper.so" "$work/vdhelper.c"
  cc -c -fPIC -O2 -o "$work/vdshim.o" "$work/vdshim.c"
  g++ -shared -o "$root/lib/libVDCAMSDK_X64.so" "$build"/Sdk/Simulator/CMakeFiles/VDCAMSDK.dir/*.o "$work/vdshim.o" \
    "$build/Sdk/Platform/libvandrel_platform.a" \
    -Wl,--version-script=Sdk/Simulator/vdcamsdk.map -L"$root/lib" -lvdhelper \
    -Wl,--no-undefined -lQt5Core -lopencv_imgcodecs -lopencv_imgproc -lopencv_core -pthread
  if readelf -d "$root/lib/libVDCAMSDK_X64.so" | grep -q SONAME; then
    echo "ci-deploy: the stand-in has a SONAME" >&2
    return 1
  fi
  cmake -S . -B "$vbuild" -DVANDREL_SDK=vendor -DVANDREL_SDK_ROOT="$root" -DVANDREL_BENCH=OFF \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON | tee "$work/vendor-configure.log"
  test "$(grep -c 'vdsim.h' "$work/vendor-configure.log")" -eq 1
  grep -q 'without a SONAME' "$work/vendor-configure.log"
  cmake --build "$vbuild" -j"$jobs"
  # Nothing of the simulator is built; the driver runs on the stand-in.
  test ! -e "$vbuild/Plugins/Cameras/libVDCAMSDK.so"
  local module="$vbuild/Plugins/Cameras/libVandrel.so" check="$vbuild/Sdk/Check/vdcamsdk-check"
  # Needed by file name, with a run path that also serves the SDK's helper.
  readelf -d "$module" "$check" | tee "$work/vendor-dynamic.txt" | grep -E 'NEEDED.*VDCAMSDK|PATH'
  test "$(grep -c 'NEEDED.*\[libVDCAMSDK_X64.so\]' "$work/vendor-dynamic.txt")" -eq 2
  ! grep -q 'RUNPATH' "$work/vendor-dynamic.txt"
  ldd "$module" | grep -q "$root/lib/libVDCAMSDK_X64.so"
  ctest --test-dir "$vbuild" -j"$jobs" --output-on-failure
  # The stand-ins are made of the simulated library: the check knows it (status 5).
  local status=0
  "$check" --seconds 2 || status=$?
  test "$status" -eq 5
  "$vbuild/Host/vandrel-host" list
  # Vendor builds offer nothing of the simulator.
  ! "$vbuild/Host/vandrel-host" --help | grep -q -- --sim-config
  cmake --install "$vbuild" --prefix "$vprefix" >/dev/null
  test -e "$vprefix/lib/vandrel/Plugins/Cameras/libVandrel.so"
  test ! -e "$vprefix/lib/vandrel/Plugins/Cameras/libVDCAMSDK.so"
  test ! -e "$vprefix/share/vandrel-simulator"
  # Deployed as the README says: the SDK's libraries beside the plug-in, its
  # folder and both build folders gone.
  cp "$root/lib/libVDCAMSDK_X64.so" "$root/lib/libvdhelper.so" "$vprefix/lib/vandrel/Plugins/Cameras/"
  mv "$root" "$root.away"
  status=0
  BUILD_DIR="$vbuild" without_build_vendor "$vprefix/bin/vdcamsdk-check" --seconds 2 || status=$?
  [ "$status" -eq 5 ] && { status=0; BUILD_DIR="$vbuild" without_build_vendor "$vprefix/bin/vandrel-host" list || status=$?; }
  mv "$root.away" "$root"
  [ "$status" -eq 0 ] || return $status
  # Its packages: no simulator, and nothing marks them as simulated.
  local debs=()
  mapfile -t debs < <(make_debs "$vbuild")
  printf '%s\n' "${debs[@]##*/}"
  ! printf '%s\n' "${debs[@]}" | grep -q -e vandrel-simulator -e '~sim'
}

# without_build, for the normal build and the vendor build at once.
without_build_vendor() {
  local vaway="$BUILD_DIR.away.$$"
  mv "$BUILD_DIR" "$vaway"
  local status=0
  without_build "$@" || status=$?
  mv "$vaway" "$BUILD_DIR"
  return $status
}

stage_clang() {
  CC=clang CXX=clang++ cmake -S . -B build-clang -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
  cmake --build build-clang -j"$jobs"
  ctest --test-dir build-clang -j"$jobs" --output-on-failure -LE slow
}

case "${1:-}" in
  install|consumer|package|reproducible|vendor|clang) "stage_$1" ;;
  *) echo "usage: scripts/ci-deploy.sh install|consumer|package|reproducible|vendor|clang" >&2; exit 2 ;;
esac
