# Debian packages, one per install component: `cpack -G DEB` in the build
# folder. Simulator builds are marked in every package's version and
# description, and only they make vandrel-simulator.
#
# The package table: component, package name, section, summary and long
# description, dependencies on the other packages of this build. A later
# component (python -> python3-vandrel, gstreamer -> gstreamer1.0-vandrel)
# adds its line with vandrel_deb_package(); components without install rules
# in this build are left out. For example:
#   vandrel_deb_package(python python3-vandrel python "vandrel ${VANDREL_SAME}"
#     "Python 3 bindings of ..." "...")

set(VANDREL_MAINTAINER "Vandrel developers <vandrel@vandrel.example.org>")

if(VANDREL_SIMULATOR)
  # Sorts below the same version built against the vendor's SDK.
  set(VANDREL_DEB_VERSION "${PROJECT_VERSION}~sim")
  set(VANDREL_BUILD_NOTE "A simulator build: its tools and tests ran against the simulated camera
SDK (package vandrel-simulator). On a production line, install the camera
vendor's SDK and not vandrel-simulator.")
else()
  set(VANDREL_DEB_VERSION "${PROJECT_VERSION}")
  set(VANDREL_BUILD_NOTE "Built against the camera vendor's SDK, which is installed separately:
beside the plug-in, in /usr/${VANDREL_INSTALL_PLUGINDIR}, with any
libraries of its own.")
endif()
set(VANDREL_SAME "(= ${VANDREL_DEB_VERSION})")
get_property(VANDREL_CONTRACT_SOVERSION GLOBAL PROPERTY VANDREL_CONTRACT_SOVERSION)
set(VANDREL_CONTRACT_PACKAGE "libvandrel-contract${VANDREL_CONTRACT_SOVERSION}")

set(VANDREL_DEB_DIR "${CMAKE_BINARY_DIR}/debian")
configure_file(cmake/debian/changelog.in "${VANDREL_DEB_DIR}/changelog" @ONLY)
execute_process(COMMAND gzip -9n -c "${VANDREL_DEB_DIR}/changelog"
  OUTPUT_FILE "${VANDREL_DEB_DIR}/changelog.gz" RESULT_VARIABLE gzip_status)
if(NOT gzip_status EQUAL 0)
  message(FATAL_ERROR "gzip of the Debian changelog failed")
endif()

get_cmake_property(VANDREL_INSTALL_COMPONENTS COMPONENTS)
set(VANDREL_PACKAGED_COMPONENTS)
# vandrel_deb_package(COMPONENT PACKAGE SECTION DEPENDS "summary" "long description")
function(vandrel_deb_package component package section depends summary description)
  if(NOT component IN_LIST VANDREL_INSTALL_COMPONENTS)
    return()
  endif()
  string(TOUPPER "${component}" c)
  set(CPACK_DEBIAN_${c}_PACKAGE_NAME "${package}" PARENT_SCOPE)
  set(CPACK_DEBIAN_${c}_PACKAGE_SECTION "${section}" PARENT_SCOPE)
  set(CPACK_DEBIAN_${c}_PACKAGE_DEPENDS "${depends}" PARENT_SCOPE)
  set(CPACK_DEBIAN_${c}_DESCRIPTION "${summary}\n${description}\n.\n${VANDREL_BUILD_NOTE}" PARENT_SCOPE)
  # Every package carries its copyright and changelog, as Debian's do.
  install(FILES cmake/debian/copyright "${VANDREL_DEB_DIR}/changelog.gz"
    DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}" COMPONENT ${component})
  set(overrides "${PROJECT_SOURCE_DIR}/cmake/debian/${package}.lintian-overrides")
  if(EXISTS "${overrides}")
    install(FILES "${overrides}" DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides"
      RENAME "${package}" COMPONENT ${component})
  endif()
  set(VANDREL_PACKAGED_COMPONENTS ${VANDREL_PACKAGED_COMPONENTS} ${component} PARENT_SCOPE)
endfunction()

vandrel_deb_package(plugin vandrel libs ""
  "camera driver plug-in for VD-XG line-scan cameras"
  "The Qt 5 plug-in Vandrel lets a machine-vision host find, open and run
VD-XG line-scan cameras through the camera vendor's SDK, and hands every
image to the host as an OpenCV matrix. It reports a lost camera link and
reopens the camera by itself. The package also holds the library shared by
the host programs of vandrel-tools and vandrel-viewer.")
vandrel_deb_package(simulator vandrel-simulator libs "vandrel ${VANDREL_SAME}"
  "simulated camera SDK for the Vandrel plug-in - not for production lines"
  "A library with the camera vendor's SDK interface and file name whose
cameras are simulated in the process: the plug-in, its tools and tests run
on any machine without cameras. Its scenarios for simulated faults are in
/usr/share/vandrel-simulator/scenarios. Do not install it on a production
line's machine: whatever runs there would see simulated cameras.")
vandrel_deb_package(contract ${VANDREL_CONTRACT_PACKAGE} libs ""
  "contract library between Vandrel camera plug-ins and their hosts"
  "The out-of-line code of the host contract's parameter descriptors and
parameter set, their type information, and the meta-object of the camera
interface, for host applications that load the Vandrel plug-in.")
vandrel_deb_package(dev vandrel-dev libdevel
  "${VANDREL_CONTRACT_PACKAGE} ${VANDREL_SAME}, qtbase5-dev, libopencv-core-dev"
  "development files for hosts of the Vandrel camera plug-in"
  "The contract headers (camera interface, parameter descriptors, parameter
set), the contract library's link, and the files that find them:
pkg-config's vandrel.pc (with the plug-in folder as variable plugindir) and
CMake's find_package(Vandrel) (target Vandrel::Contract, variable
Vandrel_PLUGIN_DIR).")
vandrel_deb_package(tools vandrel-tools science "vandrel ${VANDREL_SAME}"
  "command-line host and SDK check for the Vandrel camera plug-in"
  "vandrel-host lists the VD-XG cameras, shows their parameters and grabs
frames to PNG files through the Vandrel plug-in, exactly as a host
application loads it. vdcamsdk-check checks that a camera SDK behaves as the
driver relies on, before a line goes live.")
vandrel_deb_package(viewer vandrel-viewer science "vandrel ${VANDREL_SAME}"
  "live viewer and parameter editor for VD-XG cameras"
  "vandrel-viewer shows the VD-XG cameras live through the Vandrel plug-in,
as a line-scan strip or frame by frame, and edits their parameters as the
host application's parameter editor does.")

vandrel_deb_package(python python3-vandrel python "vandrel ${VANDREL_SAME}, ${VANDREL_PYTHON_PACKAGE_DEPENDS}"
  "Python 3 module for VD-XG cameras through the Vandrel plug-in"
  "import vandrel lists the VD-XG cameras, opens them, edits their parameters
and settings, and hands out their frames as numpy arrays that share the
driver's memory without a copy, with their product, capture and cycle
numbers and the camera's link events.")

vandrel_deb_package(gstreamer gstreamer1.0-vandrel video "vandrel ${VANDREL_SAME}"
  "GStreamer source element for VD-XG cameras through the Vandrel plug-in"
  "The GStreamer plug-in vandrel with the live source vandrelsrc: the frames
of a VD-XG camera, without a copy, with their product, capture and cycle
numbers in a meta of their own and the camera's link losses on the bus.")

set(CPACK_PACKAGE_NAME "vandrel")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_DEBIAN_PACKAGE_VERSION "${VANDREL_DEB_VERSION}")
set(CPACK_PACKAGE_VENDOR "Vandrel")
set(CPACK_PACKAGE_CONTACT "${VANDREL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SOURCE "vandrel")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vandrel.example.org/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${VANDREL_PACKAGED_COMPONENTS})
set(CPACK_COMPONENTS_GROUPING IGNORE)
# Debian's layout: root-owned files, directories 0755.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Release binaries carry no debug information; the symbol tables go as well.
set(CPACK_STRIP_FILES ON)
# The contract library's shlibs file and ldconfig trigger. (The ldconfig
# calls CPack writes into the maintainer scripts of any library below
# /usr/lib are overridden in cmake/debian/.)
file(WRITE "${VANDREL_DEB_DIR}/shlibs"
  "libvandrel-contract ${VANDREL_CONTRACT_SOVERSION} ${VANDREL_CONTRACT_PACKAGE} (>= ${VANDREL_DEB_VERSION})\n")
set(CPACK_DEBIAN_CONTRACT_PACKAGE_CONTROL_EXTRA
  "${PROJECT_SOURCE_DIR}/cmake/debian/triggers" "${VANDREL_DEB_DIR}/shlibs")
# Runtime dependencies on system libraries (Qt 5, OpenCV, the C++ runtime)
# come from the binaries themselves; those on this build's own packages are
# in the table above. The SDK beside the plug-in belongs to vandrel-simulator
# or to the vendor's installation.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
get_property(VANDREL_PACKAGE_LIBRARY_DIRS GLOBAL PROPERTY VANDREL_PACKAGE_LIBRARY_DIRS)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/Plugins/Cameras"
  "${CMAKE_BINARY_DIR}/Interfaces" ${VANDREL_PACKAGE_LIBRARY_DIRS})
if(NOT VANDREL_SIMULATOR)
  list(APPEND CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${VANDREL_SDK_LIBRARY_DIR}")
endif()
# Timestamps in the archives: the release's, whenever cpack runs.
set(CPACK_PROJECT_CONFIG_FILE "${VANDREL_DEB_DIR}/CPackProjectConfig.cmake")
file(WRITE "${CPACK_PROJECT_CONFIG_FILE}" "set(ENV{SOURCE_DATE_EPOCH} ${VANDREL_RELEASE_EPOCH})\n")
set(CPACK_GENERATOR DEB)
include(CPack)
