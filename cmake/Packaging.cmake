# One Debian package of everything installed: `cpack -G DEB` in the build folder.
set(CPACK_PACKAGE_NAME "vandrel")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Vandrel")
set(CPACK_PACKAGE_CONTACT "Vandrel developers <vandrel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Camera driver plug-in for VD-XG line-scan cameras, with its command-line host")
set(CPACK_PACKAGE_DESCRIPTION
  "The Qt plug-in Vandrel, the host program vandrel-host, the SDK conformance check vdcamsdk-check and the contract headers for host applications.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Release binaries carry no debug information; the symbol tables go as well.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
# Runtime dependencies (Qt 5, OpenCV, the C++ runtime) come from the
# binaries themselves; the SDK beside the plug-in belongs to the package
# (simulator) or to the vendor's installation.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
get_property(VANDREL_PACKAGE_LIBRARY_DIRS GLOBAL PROPERTY VANDREL_PACKAGE_LIBRARY_DIRS)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/Plugins/Cameras" ${VANDREL_PACKAGE_LIBRARY_DIRS})
if(NOT VANDREL_SIMULATOR)
  list(APPEND CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${VANDREL_SDK_LIBRARY_DIR}")
endif()
set(CPACK_GENERATOR DEB)
include(CPack)
