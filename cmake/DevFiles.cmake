# What a host application builds against: pkg-config's vandrel.pc and CMake's
# find_package(Vandrel), both relocatable with the installed tree.
include(CMakePackageConfigHelpers)

# OpenCV's headers, for both: Debian's split OpenCV packages ship no
# opencv4.pc and no CMake package, so the flags are given directly.
if(VANDREL_OPENCV_INCLUDE_DIR)
  set(VANDREL_DEV_OPENCV_INCLUDE_DIR "${VANDREL_OPENCV_INCLUDE_DIR}")
else()
  list(GET OpenCV_INCLUDE_DIRS 0 VANDREL_DEV_OPENCV_INCLUDE_DIR)
endif()

file(RELATIVE_PATH VANDREL_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" VANDREL_PC_TO_PREFIX "${VANDREL_PC_TO_PREFIX}")
configure_file(cmake/vandrel.pc.in "${CMAKE_BINARY_DIR}/dev/vandrel.pc" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/dev/vandrel.pc"
  DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig" COMPONENT dev)

set(VANDREL_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/Vandrel")
get_property(VANDREL_CONTRACT_SOVERSION GLOBAL PROPERTY VANDREL_CONTRACT_SOVERSION)
configure_package_config_file(cmake/VandrelConfig.cmake.in "${CMAKE_BINARY_DIR}/dev/VandrelConfig.cmake"
  INSTALL_DESTINATION "${VANDREL_CMAKE_DIR}"
  PATH_VARS CMAKE_INSTALL_LIBDIR VANDREL_INSTALL_INCLUDEDIR VANDREL_INSTALL_PLUGINDIR)
write_basic_package_version_file("${CMAKE_BINARY_DIR}/dev/VandrelConfigVersion.cmake"
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES "${CMAKE_BINARY_DIR}/dev/VandrelConfig.cmake" "${CMAKE_BINARY_DIR}/dev/VandrelConfigVersion.cmake"
  DESTINATION "${VANDREL_CMAKE_DIR}" COMPONENT dev)
