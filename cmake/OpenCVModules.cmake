# Debian's split OpenCV packages ship headers and libraries but no CMake package
# file, so the modules are located directly and exposed as imported targets.
find_path(VANDREL_OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
foreach(module core imgproc imgcodecs)
  find_library(VANDREL_OPENCV_${module}_LIBRARY opencv_${module} REQUIRED)
  add_library(opencv::${module} SHARED IMPORTED)
  set_target_properties(opencv::${module} PROPERTIES
    IMPORTED_LOCATION "${VANDREL_OPENCV_${module}_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${VANDREL_OPENCV_INCLUDE_DIR}")
endforeach()
