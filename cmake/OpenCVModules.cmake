# OpenCV as the imported targets opencv::core, opencv::imgproc and
# opencv::imgcodecs. OpenCV's own CMake package is used where it is installed;
# Debian's split packages (libopencv-core-dev and friends) ship headers and
# libraries but no package file, so there the modules are located directly.
set(VANDREL_OPENCV_MODULES core imgproc imgcodecs)
find_package(OpenCV 4 QUIET CONFIG COMPONENTS ${VANDREL_OPENCV_MODULES})
if(OpenCV_FOUND)
  message(STATUS "OpenCV ${OpenCV_VERSION} from its CMake package")
  foreach(module ${VANDREL_OPENCV_MODULES})
    add_library(opencv::${module} INTERFACE IMPORTED)
    # OpenCV's prebuilt Windows package is one library, opencv_world.
    if(NOT TARGET opencv_${module} AND TARGET opencv_world)
      set_target_properties(opencv::${module} PROPERTIES INTERFACE_LINK_LIBRARIES opencv_world)
    else()
      set_target_properties(opencv::${module} PROPERTIES INTERFACE_LINK_LIBRARIES opencv_${module})
    endif()
  endforeach()
  return()
endif()

find_path(VANDREL_OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
message(STATUS "OpenCV without a CMake package: headers in ${VANDREL_OPENCV_INCLUDE_DIR}")
foreach(module ${VANDREL_OPENCV_MODULES})
  find_library(VANDREL_OPENCV_${module}_LIBRARY opencv_${module} REQUIRED)
  add_library(opencv::${module} SHARED IMPORTED)
  set_target_properties(opencv::${module} PROPERTIES
    IMPORTED_LOCATION "${VANDREL_OPENCV_${module}_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${VANDREL_OPENCV_INCLUDE_DIR}")
endforeach()
