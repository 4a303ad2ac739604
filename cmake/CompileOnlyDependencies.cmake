# Qt's and OpenCV's targets as the build machine has them, in a cross build
# for Windows that only compiles against their headers: they become import
# libraries in name, so that CMake generates the build. Nothing that links
# them can be linked; the targets that need neither can.
foreach(target Qt5::Core Qt5::Gui Qt5::Widgets Qt5::Test opencv::core opencv::imgproc opencv::imgcodecs)
  if(NOT TARGET ${target})
    continue()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    continue()
  endif()
  get_target_property(location ${target} IMPORTED_LOCATION_RELEASE)
  if(NOT location)
    get_target_property(location ${target} IMPORTED_LOCATION)
  endif()
  set_target_properties(${target} PROPERTIES IMPORTED_IMPLIB "${location}" IMPORTED_IMPLIB_RELEASE "${location}")
endforeach()
# The moc steps wait for nothing to be linked.
set(CMAKE_AUTOGEN_ORIGIN_DEPENDS OFF)
