# The camera vendor's SDK as the target VDCAMSDK, from the one folder
# VANDREL_SDK_ROOT: its vdcamsdk.h (in the folder or its include/), and
#   Linux:   its library (lib/), linked by the plug-in and found beside it
#            through $ORIGIN;
#   Windows: its DLL (bin/, lib/ or the folder itself), whose functions the
#            plug-in and vdcamsdk-check resolve at run time from beside
#            themselves (Sdk/Platform/sdkbinding.h); the DLL is copied beside
#            the plug-in in the build folder and installed there. The import
#            library (.lib) is reported when present but not linked.
if(NOT VANDREL_SDK_ROOT)
  message(FATAL_ERROR "VANDREL_SDK=vendor needs -DVANDREL_SDK_ROOT=DIR, the folder of the vendor's SDK")
endif()
# Look again when the root changes.
if(NOT VANDREL_SDK_ROOT STREQUAL VANDREL_SDK_ROOT_SEARCHED)
  unset(VANDREL_SDK_INCLUDE_DIR CACHE)
  unset(VANDREL_SDK_LIBRARY CACHE)
  unset(VANDREL_SDK_DLL CACHE)
  unset(VANDREL_SDK_IMPORT_LIBRARY CACHE)
  set(VANDREL_SDK_ROOT_SEARCHED "${VANDREL_SDK_ROOT}" CACHE INTERNAL "")
endif()
find_path(VANDREL_SDK_INCLUDE_DIR vdcamsdk.h
  PATHS "${VANDREL_SDK_ROOT}" PATH_SUFFIXES include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)

if(WIN32)
  find_file(VANDREL_SDK_DLL NAMES VDCAMSDK_X64.dll VDCAMSDK.dll
    PATHS "${VANDREL_SDK_ROOT}" PATH_SUFFIXES bin lib lib/x64 x64 NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  find_file(VANDREL_SDK_IMPORT_LIBRARY NAMES VDCAMSDK_X64.lib VDCAMSDK.lib libVDCAMSDK_X64.dll.a
    PATHS "${VANDREL_SDK_ROOT}" PATH_SUFFIXES lib lib/x64 x64 NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT VANDREL_SDK_INCLUDE_DIR OR NOT VANDREL_SDK_DLL)
    message(FATAL_ERROR "VANDREL_SDK_ROOT=${VANDREL_SDK_ROOT} holds no vdcamsdk.h and VDCAMSDK_X64.dll "
      "(looked in it, in its include/ for the header and in its bin/, lib/ and x64/ for the DLL)")
  endif()
  add_library(VDCAMSDK INTERFACE IMPORTED GLOBAL)
  set_target_properties(VDCAMSDK PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${VANDREL_SDK_INCLUDE_DIR}")
  get_filename_component(VANDREL_SDK_FILE_NAME "${VANDREL_SDK_DLL}" NAME)
  # Beside the plug-in and vdcamsdk-check in the build folder, as installed.
  set(sdk_copy "${VANDREL_PLUGIN_DIR}/${VANDREL_SDK_FILE_NAME}")
  add_custom_command(OUTPUT "${sdk_copy}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${VANDREL_PLUGIN_DIR}"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "${VANDREL_SDK_DLL}" "${sdk_copy}"
    DEPENDS "${VANDREL_SDK_DLL}" VERBATIM)
  add_custom_target(vandrel_vendor_sdk_copy ALL DEPENDS "${sdk_copy}")
  install(FILES "${VANDREL_SDK_DLL}" DESTINATION ${VANDREL_INSTALL_PLUGINDIR} COMPONENT plugin)
  install(FILES "${VANDREL_SDK_DLL}" DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  if(VANDREL_SDK_IMPORT_LIBRARY)
    message(STATUS "Vendor SDK import library ${VANDREL_SDK_IMPORT_LIBRARY}: not linked, the DLL's functions "
      "are resolved when the plug-in runs")
  endif()
  message(STATUS "Vendor SDK ${VANDREL_SDK_DLL}, header in ${VANDREL_SDK_INCLUDE_DIR}; "
    "copied beside the plug-in as ${VANDREL_SDK_FILE_NAME}")
else()
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
  get_filename_component(VANDREL_SDK_FILE_NAME "${VANDREL_SDK_LIBRARY}" NAME)
  if(sdk_dynamic MATCHES "\\(SONAME\\)[^[]*\\[([^]]*)\\]")
    set_target_properties(VDCAMSDK PROPERTIES IMPORTED_SONAME "${CMAKE_MATCH_1}")
    set(VANDREL_SDK_FILE_NAME "${CMAKE_MATCH_1}")
    message(STATUS "Vendor SDK library's SONAME: ${CMAKE_MATCH_1}")
  else()
    set_target_properties(VDCAMSDK PROPERTIES IMPORTED_NO_SONAME TRUE)
    message(STATUS "Vendor SDK library without a SONAME: the plug-in needs it as ${VANDREL_SDK_FILE_NAME}")
  endif()
  get_filename_component(VANDREL_SDK_LIBRARY_DIR "${VANDREL_SDK_LIBRARY}" DIRECTORY)
  set(VANDREL_SDK_LIBRARY_DIR "${VANDREL_SDK_LIBRARY_DIR}" PARENT_SCOPE)
endif()
message(STATUS "Vendor SDK build. Left out, as they need the simulator's control "
  "interface vdsim.h or its simulated cameras: the simulated SDK, the SDK tests, the driver and plug-in "
  "loader tests, the vandrel-host end-to-end tests, the viewer tests, the vdcamsdk-check tests, the stress test, the "
  "benchmark and the fuzz targets")
