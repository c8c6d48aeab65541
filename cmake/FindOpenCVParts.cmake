# Finds the three OpenCV modules the player uses (core, imgproc, highgui) from
# Debian's split -dev packages, which ship headers and libraries but not
# OpenCV's own CMake config (only the much larger libopencv-dev has that).
# Defines the imported targets OpenCV::core, OpenCV::imgproc, OpenCV::highgui.

find_path(OpenCVParts_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4)

set(_opencv_parts core imgproc highgui)
set(_opencv_required OpenCVParts_INCLUDE_DIR)
foreach(part IN LISTS _opencv_parts)
  find_library(OpenCVParts_${part}_LIBRARY NAMES opencv_${part})
  list(APPEND _opencv_required OpenCVParts_${part}_LIBRARY)
endforeach()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(OpenCVParts REQUIRED_VARS ${_opencv_required})

if(OpenCVParts_FOUND)
  foreach(part IN LISTS _opencv_parts)
    if(NOT TARGET OpenCV::${part})
      add_library(OpenCV::${part} UNKNOWN IMPORTED)
      set_target_properties(OpenCV::${part} PROPERTIES
        IMPORTED_LOCATION "${OpenCVParts_${part}_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${OpenCVParts_INCLUDE_DIR}")
    endif()
  endforeach()
  set_property(TARGET OpenCV::imgproc APPEND PROPERTY INTERFACE_LINK_LIBRARIES OpenCV::core)
  set_property(TARGET OpenCV::highgui APPEND PROPERTY INTERFACE_LINK_LIBRARIES OpenCV::imgproc)
endif()
mark_as_advanced(OpenCVParts_INCLUDE_DIR)
