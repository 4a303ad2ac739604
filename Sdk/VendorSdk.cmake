# The camera vendor's SDK as the target VDCAMSDK: its vdcamsdk.h and its
# library, found in VANDREL_SDK_ROOT (or its include/ and lib/ folders).
if(NOT VANDREL_SDK_ROOT)
  message(FATAL_ERROR "VANDREL_SDK=vendor needs -DVANDREL_SDK_ROOT=DIR, the folder of the vendor's SDK")
endif()
# Look again when the root changes.
if(NOT VANDREL_SDK_ROOT STREQUAL VANDREL_SDK_ROOT_SEARCHED)
  unset(VANDREL_SDK_INCLUDE_DIR CACHE)
  unset(VANDREL_SDK_LIBRARY CACHE)
  set(VANDREL_SDK_ROOT_SEARCHED "${VANDREL_SDK_ROOT}" CACHE INTERNAL "")
endif()
find_path(VANDREL_SDK_INCLUDE_DIR vdcamsdk.h
  PATHS "${VANDREL_SDK_ROOT}" PATH_SUFFIXES include NO_DEFAULT_PATH)
find_library(VANDREL_SDK_LIBRARY NAMES VDCAMSDK VDCAMSDK_X64
  PATHS "${VANDREL_SDK_ROOT}" PATH_SUFFIXES lib lib64 NO_DEFAULT_PATH)
if(NOT VANDREL_SDK_INCLUDE_DIR OR NOT VANDREL_SDK_LIBRARY)
  message(FATAL_ERROR "VANDREL_SDK_ROOT=${VANDREL_SDK_ROOT} holds no vdcamsdk.h and VDCAMSDK library "
    "(looked in it and in its include/ and lib/ folders)")
endif()
add_library(VDCAMSDK SHARED IMPORTED GLOBAL)
set_target_properties(VDCAMSDK PROPERTIES
  IMPORTED_LOCATION "${VANDREL_SDK_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${VANDREL_SDK_INCLUDE_DIR}")
# Many vendor SDKs are linked without a SONAME. Linked by its path, such a
# library would be recorded in the plug-in with the build machine's absolute
# path; linked by name, the plug-in needs it by file name and finds it
# beside itself.
find_program(VANDREL_READELF NAMES ${CMAKE_READELF} readelf REQUIRED)
execute_process(COMMAND "${VANDREL_READELF}" -d "${VANDREL_SDK_LIBRARY}"
  OUTPUT_VARIABLE sdk_dynamic RESULT_VARIABLE readelf_status ERROR_QUIET)
if(NOT readelf_status EQUAL 0)
  message(FATAL_ERROR "${VANDREL_SDK_LIBRARY} is not a shared library readelf can read")
endif()
if(sdk_dynamic MATCHES "\\(SONAME\\)[^[]*\\[([^]]*)\\]")
  set_target_properties(VDCAMSDK PROPERTIES IMPORTED_SONAME "${CMAKE_MATCH_1}")
  message(STATUS "Vendor SDK library's SONAME: ${CMAKE_MATCH_1}")
else()
  set_target_properties(VDCAMSDK PROPERTIES IMPORTED_NO_SONAME TRUE)
  get_filename_component(sdk_file "${VANDREL_SDK_LIBRARY}" NAME)
  message(STATUS "Vendor SDK library without a SONAME: the plug-in needs it as ${sdk_file}")
endif()
get_filename_component(VANDREL_SDK_LIBRARY_DIR "${VANDREL_SDK_LIBRARY}" DIRECTORY)
set(VANDREL_SDK_LIBRARY_DIR "${VANDREL_SDK_LIBRARY_DIR}" PARENT_SCOPE)
message(STATUS "Vendor SDK ${VANDREL_SDK_LIBRARY}. Left out, as they need the simulator's control "
  "interface vdsim.h or its simulated cameras: the simulated SDK, the SDK tests, the driver and plug-in "
  "loader tests, the vandrel-host end-to-end tests, the viewer tests, the vdcamsdk-check tests, the stress test, the "
  "benchmark and the fuzz targets")
